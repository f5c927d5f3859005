/* Stand-in for the host's MPEG-4 header parser library: a fixed picture size, or every frame rejected (REJECT_ALL). */
#include <stdint.h>

__attribute__((visibility("default"))) int32_t ParseMpegHeader(const uint8_t* bytes, uint32_t length, int32_t* width,
                                                               int32_t* height)
{
#ifdef REJECT_ALL
    length = 0;
#endif
    if (bytes == 0 || length == 0)
        return 0;
    *width = 704;
    *height = 576;
    return 1;
}
