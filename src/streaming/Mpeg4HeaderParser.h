#pragma once
// The MPEG-4 header parser contract of the host library "Quarnel.dll" ("libquarnel.so"), and
// the driver's own implementation used when that library is not installed.
#include <cstdint>

namespace korvane {

// Frame bytes, their length, out width, out height; above 0 when a picture
// size was found and written.
using ParseMpegHeaderFunction = int32_t (*)(const uint8_t* bytes, uint32_t length, int32_t* width, int32_t* height);

// Reads the picture size from the first video object layer header of the bytes.
int32_t ParseVideoObjectLayerSize(const uint8_t* bytes, uint32_t length, int32_t* width, int32_t* height);

}  // namespace korvane
