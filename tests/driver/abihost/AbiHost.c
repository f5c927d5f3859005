/* AbiHost: a host written in C from the interface contract alone. It lays the
 * interfaces out as the host's compiler does (on Windows: one scalar deleting
 * destructor entry, __thiscall on x86), loads the plug-in, opens a driver for a
 * camera, receives H.264 frames from one channel and checks every step.
 *
 * AbiHost LIBRARY ADDRESS HTTP_PORT USER PASSWORD MODEL [PARAMETER1 PARAMETER2 ...]
 *
 * Exit code 0 when every check holds; one line per failed check otherwise. */
#include <stdarg.h>
#include <stdatomic.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Most operations of the host objects ignore their object and arguments. */
#pragma GCC diagnostic ignored "-Wunused-parameter"

#ifdef _WIN32
#include <windows.h>
#define OpenLibrary(path) ((void*)LoadLibraryA(path))
#define FindExport(library, name) ((void*)GetProcAddress((HMODULE)(library), name))
#define CloseLibrary(library) FreeLibrary((HMODULE)(library))
#define SleepMs(ms) Sleep(ms)
#define NowMs() ((long long)GetTickCount64())
#else
#include <dlfcn.h>
#include <time.h>
#include <unistd.h>
#define OpenLibrary(path) dlopen(path, RTLD_NOW)
#define FindExport(library, name) dlsym(library, name)
#define CloseLibrary(library) dlclose(library)
#define SleepMs(ms) usleep((ms) * 1000)
static long long NowMs(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}
#endif

#if defined(_WIN32) && defined(__i386__)
#define THISCALL __attribute__((thiscall))
#else
#define THISCALL
#endif

/* Slot 0: one scalar deleting destructor on Windows, the complete and the
 * deleting destructor elsewhere. The driver never destroys a host object. */
#ifdef _WIN32
#define DESTRUCTOR_SLOTS void* (THISCALL* Destroy)(void* self, unsigned flags);
#define FORBIDDEN_DESTRUCTOR(Interface)                                 \
    static void* THISCALL Interface##Destroy(void* self, unsigned flags) \
    { Forbidden(#Interface " destructor"); return NULL; }
#define DESTRUCTOR(Interface) Interface##Destroy
#else
#define DESTRUCTOR_SLOTS void (*DestroyComplete)(void* self); void (*DestroyDeleting)(void* self);
#define FORBIDDEN_DESTRUCTOR(Interface) \
    static void Interface##Destroy(void* self) { Forbidden(#Interface " destructor"); }
#define DESTRUCTOR(Interface) Interface##Destroy, Interface##Destroy
#endif

/* A slot the driver must not call: the host's to use as it likes. */
typedef void (THISCALL* Slot)(void* self);
#define FORBIDDEN(name) static void THISCALL name(void* self) { Forbidden(#name); }

static void Forbidden(const char* slot)
{
    printf("FAILED: the driver called %s, a slot outside the contract\n", slot);
    _Exit(3);
}

typedef struct { uint16_t fields[8]; } SystemTime;
typedef struct { const void* vtbl; } Object;

/* ---- Tables, slot by slot from slot 0 ------------------------------------- */
#define METHOD(Result, name, ...) Result (THISCALL* name)(void* self, ##__VA_ARGS__);

typedef struct { DESTRUCTOR_SLOTS METHOD(uint8_t, GetLevel) METHOD(const char*, GetText) } DebugInfoTable;
typedef struct { DESTRUCTOR_SLOTS METHOD(void, OnDebugInfo, Object* info) } DebugInfoSinkTable;
typedef struct { DESTRUCTOR_SLOTS
    Slot Reserved1; METHOD(uint8_t*, GetBuffer) Slot Reserved3; METHOD(void, SetDataSize, uint32_t size)
    METHOD(void, Commit) METHOD(void, SetTime, const SystemTime* time) METHOD(void, GetTime, SystemTime* time)
    Slot Reserved8, Reserved9; METHOD(void, SetFourCC, uint32_t fourCC) Slot Reserved11;
    METHOD(void, SetHeight, uint32_t height) Slot Reserved13; METHOD(void, SetWidth, uint32_t width)
    Slot Reserved15; METHOD(void, SetSizeClass, uint32_t sizeClass)
} HostFrameTable;
typedef struct { DESTRUCTOR_SLOTS
    Slot Reserved1; METHOD(Object*, AllocateFrame, uint32_t fourCC, uint32_t size, const char* streamName)
    METHOD(Object*, AllocateAudioFrame, uint32_t fourCC, uint32_t size, const char* driverName)
    METHOD(void, ReleaseAudioFrame, Object* frame) Slot Reserved5; METHOD(void, ReleaseFrame, Object* frame)
} FrameAllocatorTable;
typedef struct { DESTRUCTOR_SLOTS METHOD(bool, OnFrame, Object* frame) Slot Reserved2; METHOD(void, OnSignalLost) }
    FrameSinkTable;
typedef struct { DESTRUCTOR_SLOTS
    Slot Reserved1; METHOD(const char*, GetModelName) METHOD(uint32_t, GetChannelCount) Slot Reserved4;
    METHOD(uint32_t, GetInputCount) METHOD(uint32_t, GetOutputCount)
} CaptureInfoTable;
typedef struct { DESTRUCTOR_SLOTS
    METHOD(const char*, GetAddress) METHOD(uint16_t, GetPort) Slot Reserved3; METHOD(uint32_t, GetDefaultCodec)
    METHOD(const char*, GetUserName) METHOD(const char*, GetPassword)
} DeviceAddressTable;
typedef struct { DESTRUCTOR_SLOTS
    METHOD(Object*, GetCaptureInfo) METHOD(Object*, GetDeviceAddress) Slot Reserved3;
    METHOD(const char*, GetParameter, uint32_t index)
} DriverParamsTable;
typedef struct { DESTRUCTOR_SLOTS METHOD(uint32_t, GetWidth) METHOD(uint32_t, GetHeight) } ResolutionTable;
typedef struct { DESTRUCTOR_SLOTS Slot Reserved1, Reserved2; METHOD(Object*, GetResolution) METHOD(uint32_t, GetCodec) }
    StreamFormatTable;
typedef struct { DESTRUCTOR_SLOTS
    METHOD(uint32_t, GetFrameRate) Slot Reserved2; METHOD(uint32_t, GetQuality) METHOD(uint32_t, IsMotionDetectionWanted)
} StreamRateTable;
typedef struct { DESTRUCTOR_SLOTS
    METHOD(Object*, GetFormat) METHOD(Object*, GetRate) Slot Reserved3, Reserved4; METHOD(uint32_t, GetHostInfo)
} StreamRequestTable;

/* The driver's tables: only the operations this host calls are typed. */
typedef struct { DESTRUCTOR_SLOTS
    METHOD(bool, Open, Object* logSink, Object* allocator, Object* params) METHOD(void, Close)
    Slot GetVideoCapture, GetIOApi, Reserved5, GetPTZDriver, Reserved7, GetVideoCaptureEx, GetPTZDriverEx,
        GetAudioCapture, GetAudioSender;
    METHOD(Object*, GetVideoCaptureEx2)
} CaptureDriverTable;
typedef struct { DESTRUCTOR_SLOTS
    METHOD(uint32_t, GetChannelCount) METHOD(bool, StartChannel, uint32_t index, Object* sink, Object* request)
    METHOD(bool, StopChannel, uint32_t index)
    Slot ChangeChannel, Reserved5, GetChannelState, SetOption, GetOption, ResumeChannel, SuspendChannel,
        StartStream, StopStream;
} VideoCaptureTable;

#define CALL(object, Table, operation, ...) (((const Table*)(object)->vtbl)->operation((object), ##__VA_ARGS__))

/* ---- The host's state ------------------------------------------------- */

enum { kCodecH264 = 3, kWidth = 640, kHeight = 480, kFramesWanted = 10, kWaitSeconds = 30, kStopLimitMs = 1000 };
static const uint32_t kFourCCKeyFrame = 0x34363248;   /* "H264" */
static const uint32_t kFourCCOtherFrame = 0x34363249; /* "I264" */

static struct {
    const char *address, *user, *password, *model;
    uint16_t port;
    char** parameters;
    int parameterCount;
    atomic_bool openedLine;       /* "DRIVER IS OPENED" arrived at the expected level */
    atomic_int framesAllocated, framesReleased, framesGood, framesBad, keyFrames;
    atomic_int failures;
} host;

static void Fail(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    printf("FAILED: "), vprintf(format, args), printf("\n");
    va_end(args);
    atomic_fetch_add(&host.failures, 1);
}

/* ---- Log sink ---------------------------------------------------------- */

FORBIDDEN_DESTRUCTOR(IDebugInfoSink)
static void THISCALL OnDebugInfo(void* self, Object* info)
{
    const uint8_t level = CALL(info, DebugInfoTable, GetLevel);
    const char* text = CALL(info, DebugInfoTable, GetText);
    printf("log %u: %s\n", level, text != NULL ? text : "");
    /* Without the host core library the driver assumes host version 5.12, which gets notable events at level 3. */
    if (text != NULL && strstr(text, "DRIVER IS OPENED") != NULL && level == 3)
        atomic_store(&host.openedLine, true);
}
static const DebugInfoSinkTable kLogSinkTable = {DESTRUCTOR(IDebugInfoSink), OnDebugInfo};

/* ---- Frames and their allocator ----------------------------------------- */

typedef struct {
    const HostFrameTable* vtbl;
    uint32_t capacity, dataSize, fourCC, width, height, sizeClass;
    SystemTime time;
    uint8_t* buffer;
} Frame;

FORBIDDEN_DESTRUCTOR(IHostFrame)
FORBIDDEN(IHostFrame_Reserved1) FORBIDDEN(IHostFrame_Reserved3) FORBIDDEN(IHostFrame_Reserved8)
FORBIDDEN(IHostFrame_Reserved9) FORBIDDEN(IHostFrame_Reserved11) FORBIDDEN(IHostFrame_Reserved13)
FORBIDDEN(IHostFrame_Reserved15)
static uint8_t* THISCALL FrameGetBuffer(void* self) { return ((Frame*)self)->buffer; }
static void THISCALL FrameSetDataSize(void* self, uint32_t size) { ((Frame*)self)->dataSize = size; }
static void THISCALL FrameCommit(void* self) { }
static void THISCALL FrameSetTime(void* self, const SystemTime* time) { ((Frame*)self)->time = *time; }
static void THISCALL FrameGetTime(void* self, SystemTime* time) { *time = ((Frame*)self)->time; }
static void THISCALL FrameSetFourCC(void* self, uint32_t fourCC) { ((Frame*)self)->fourCC = fourCC; }
static void THISCALL FrameSetHeight(void* self, uint32_t height) { ((Frame*)self)->height = height; }
static void THISCALL FrameSetWidth(void* self, uint32_t width) { ((Frame*)self)->width = width; }
static void THISCALL FrameSetSizeClass(void* self, uint32_t sizeClass) { ((Frame*)self)->sizeClass = sizeClass; }
static const HostFrameTable kFrameTable = {
    DESTRUCTOR(IHostFrame), IHostFrame_Reserved1, FrameGetBuffer, IHostFrame_Reserved3, FrameSetDataSize,
    FrameCommit, FrameSetTime, FrameGetTime, IHostFrame_Reserved8, IHostFrame_Reserved9, FrameSetFourCC,
    IHostFrame_Reserved11, FrameSetHeight, IHostFrame_Reserved13, FrameSetWidth, IHostFrame_Reserved15,
    FrameSetSizeClass};

FORBIDDEN_DESTRUCTOR(IFrameAllocator)
FORBIDDEN(IFrameAllocator_Reserved1) FORBIDDEN(IFrameAllocator_Reserved5)
static Object* THISCALL AllocateFrame(void* self, uint32_t fourCC, uint32_t size, const char* streamName)
{
    Frame* frame = calloc(1, sizeof *frame);
    uint8_t* buffer = malloc(size > 0 ? size : 1);
    if (frame == NULL || buffer == NULL || streamName == NULL) {
        free(frame), free(buffer);
        return NULL;
    }
    *frame = (Frame){&kFrameTable, size, 0, fourCC, 0, 0, 0, {{0}}, buffer};
    atomic_fetch_add(&host.framesAllocated, 1);
    return (Object*)frame;
}
static void THISCALL ReleaseFrame(void* self, Object* object)
{
    Frame* frame = (Frame*)object;
    if (frame == NULL || frame->vtbl != &kFrameTable)
        return;
    frame->vtbl = NULL;  /* a second release of the same frame is not counted */
    free(frame->buffer);
    free(frame);
    atomic_fetch_add(&host.framesReleased, 1);
}
/* This host opens no audio channel. */
static Object* THISCALL AllocateAudioFrame(void* self, uint32_t fourCC, uint32_t size, const char* name) { return NULL; }
static void THISCALL ReleaseAudioFrame(void* self, Object* frame) {}
static const FrameAllocatorTable kAllocatorTable = {
    DESTRUCTOR(IFrameAllocator), IFrameAllocator_Reserved1, AllocateFrame, AllocateAudioFrame,
    ReleaseAudioFrame, IFrameAllocator_Reserved5, ReleaseFrame};

/* ---- Frame sink ---------------------------------------------------------- */

/* What is wrong with a frame the driver delivers, or null. */
static const char* FrameFault(const Frame* frame)
{
    /* An access unit: start code first, the access unit delimiter's start code last. */
    static const uint8_t kStartCode[3] = {0, 0, 1}, kTrailer[5] = {0, 0, 0, 1, 9};
    if (frame->fourCC != kFourCCKeyFrame && frame->fourCC != kFourCCOtherFrame)
        return "not an H.264 fourCC";
    if (frame->dataSize < sizeof kStartCode + sizeof kTrailer || frame->dataSize > frame->capacity ||
        memcmp(frame->buffer, kStartCode, sizeof kStartCode) != 0 ||
        memcmp(frame->buffer + frame->dataSize - sizeof kTrailer, kTrailer, sizeof kTrailer) != 0)
        return "not a whole Annex B access unit";
    return frame->width != kWidth || frame->height != kHeight || frame->sizeClass != 4 ? "wrong picture size" : NULL;
}

FORBIDDEN_DESTRUCTOR(IFrameSink)
FORBIDDEN(IFrameSink_Reserved2)
static bool THISCALL OnFrame(void* self, Object* object)
{
    const Frame* frame = (const Frame*)object;
    if (frame == NULL || frame->vtbl != &kFrameTable) {
        Fail("OnFrame got a frame this host did not allocate");
        return false;
    }
    const char* fault = FrameFault(frame);
    if (fault != NULL && atomic_fetch_add(&host.framesBad, 1) == 0)
        Fail("first wrong frame: %s (fourCC 0x%08x, %ux%u, %u of %u bytes)", fault, (unsigned)frame->fourCC,
             (unsigned)frame->width, (unsigned)frame->height, (unsigned)frame->dataSize, (unsigned)frame->capacity);
    if (fault == NULL && frame->fourCC == kFourCCKeyFrame)
        atomic_fetch_add(&host.keyFrames, 1);
    if (fault == NULL)
        atomic_fetch_add(&host.framesGood, 1);
    return true;
}
static void THISCALL OnSignalLost(void* self) { printf("signal lost\n"); }
static const FrameSinkTable kSinkTable = {DESTRUCTOR(IFrameSink), OnFrame, IFrameSink_Reserved2, OnSignalLost};

/* ---- Parameters handed to Open ------------------------------------------- */

FORBIDDEN_DESTRUCTOR(ICaptureInfo)
FORBIDDEN(ICaptureInfo_Reserved1) FORBIDDEN(ICaptureInfo_Reserved4)
static const char* THISCALL GetModelName(void* self) { return host.model; }
static uint32_t THISCALL GetOne(void* self) { return 1; }
static uint32_t THISCALL GetTwo(void* self) { return 2; }
static const CaptureInfoTable kCaptureInfoTable = {
    DESTRUCTOR(ICaptureInfo), ICaptureInfo_Reserved1, GetModelName, GetOne, ICaptureInfo_Reserved4, GetTwo, GetTwo};

FORBIDDEN_DESTRUCTOR(IDeviceAddress)
FORBIDDEN(IDeviceAddress_Reserved3)
static const char* THISCALL GetAddress(void* self) { return host.address; }
static uint16_t THISCALL GetPort(void* self) { return host.port; }
static uint32_t THISCALL GetDefaultCodec(void* self) { return kCodecH264; }
static const char* THISCALL GetUser(void* self) { return host.user; }
static const char* THISCALL GetPassword(void* self) { return host.password; }
static const DeviceAddressTable kDeviceAddressTable = {
    DESTRUCTOR(IDeviceAddress), GetAddress, GetPort, IDeviceAddress_Reserved3, GetDefaultCodec, GetUser,
    GetPassword};

static Object captureInfo = {&kCaptureInfoTable};
static Object deviceAddress = {&kDeviceAddressTable};
FORBIDDEN_DESTRUCTOR(IDriverParams)
FORBIDDEN(IDriverParams_Reserved3)
static Object* THISCALL GetCaptureInfo(void* self) { return &captureInfo; }
static Object* THISCALL GetDeviceAddress(void* self) { return &deviceAddress; }
static const char* THISCALL GetParameter(void* self, uint32_t index)
{
    return index >= 1 && index <= (uint32_t)host.parameterCount ? host.parameters[index - 1] : NULL;
}
static const DriverParamsTable kParamsTable = {
    DESTRUCTOR(IDriverParams), GetCaptureInfo, GetDeviceAddress, IDriverParams_Reserved3, GetParameter};

/* ---- Stream request: H.264, 640x480, 10 frames per second, quality 60 ---- */

FORBIDDEN_DESTRUCTOR(IResolution)
static uint32_t THISCALL GetWidth(void* self) { return kWidth; }
static uint32_t THISCALL GetHeight(void* self) { return kHeight; }
static const ResolutionTable kResolutionTable = {DESTRUCTOR(IResolution), GetWidth, GetHeight};
static Object resolution = {&kResolutionTable};

FORBIDDEN_DESTRUCTOR(IStreamFormat)
FORBIDDEN(IStreamFormat_Reserved1) FORBIDDEN(IStreamFormat_Reserved2)
static Object* THISCALL GetResolution(void* self) { return &resolution; }
static const StreamFormatTable kFormatTable = {
    DESTRUCTOR(IStreamFormat), IStreamFormat_Reserved1, IStreamFormat_Reserved2, GetResolution, GetDefaultCodec};
static Object format = {&kFormatTable};

FORBIDDEN_DESTRUCTOR(IStreamRate)
FORBIDDEN(IStreamRate_Reserved2)
static uint32_t THISCALL GetFrameRate(void* self) { return 0x7000 + 10; }
static uint32_t THISCALL GetQuality(void* self) { return 60; }
static uint32_t THISCALL GetZero(void* self) { return 0; }
static const StreamRateTable kRateTable = {
    DESTRUCTOR(IStreamRate), GetFrameRate, IStreamRate_Reserved2, GetQuality, GetZero};
static Object rate = {&kRateTable};

FORBIDDEN_DESTRUCTOR(IStreamRequest)
FORBIDDEN(IStreamRequest_Reserved3) FORBIDDEN(IStreamRequest_Reserved4)
static Object* THISCALL GetFormat(void* self) { return &format; }
static Object* THISCALL GetRate(void* self) { return &rate; }
static const StreamRequestTable kRequestTable = {
    DESTRUCTOR(IStreamRequest), GetFormat, GetRate, IStreamRequest_Reserved3, IStreamRequest_Reserved4, GetZero};

/* ---- The run -------------------------------------------------------------- */

typedef Object* (*CreateDriverFunction)(void);
typedef void (*DeleteDriverFunction)(Object* driver);

/* Receives frames on channel 0 until enough arrived or the time is up. */
static void ReceiveFrames(Object* video)
{
    Object sink = {&kSinkTable}, request = {&kRequestTable};
    if (!CALL(video, VideoCaptureTable, StartChannel, 0, &sink, &request)) {
        Fail("StartChannel refused the H.264 request");
        return;
    }
    for (int waited = 0; waited < kWaitSeconds * 10 && atomic_load(&host.framesGood) < kFramesWanted; ++waited)
        SleepMs(100);
    const long long stopStart = NowMs();
    if (!CALL(video, VideoCaptureTable, StopChannel, 0))
        Fail("StopChannel found no channel");
    /* Every thread of the channel wakes for the stop: none waits for its own time-out. */
    const long long stopMs = NowMs() - stopStart;
    printf("StopChannel returned after %lld ms\n", stopMs);
    if (stopMs > kStopLimitMs)
        Fail("StopChannel took %lld ms, more than %d ms", stopMs, kStopLimitMs);
    if (atomic_load(&host.framesGood) < kFramesWanted || atomic_load(&host.keyFrames) == 0)
        Fail("%d whole H.264 frames (%d key frames) within %d s, %d wanted", atomic_load(&host.framesGood),
             atomic_load(&host.keyFrames), kWaitSeconds, kFramesWanted);
    if (atomic_load(&host.framesBad) > 0)
        Fail("%d frames were wrong", atomic_load(&host.framesBad));
}

static void Run(void* library)
{
    CreateDriverFunction create = (CreateDriverFunction)FindExport(library, "CreateIPCaptureEx5");
    DeleteDriverFunction destroy = (DeleteDriverFunction)FindExport(library, "DeleteIPCaptureEx5");
    Object* driver = create != NULL && destroy != NULL ? create() : NULL;
    if (driver == NULL) {
        Fail("CreateIPCaptureEx5 and DeleteIPCaptureEx5: no driver");
        return;
    }
    Object logSink = {&kLogSinkTable}, allocator = {&kAllocatorTable}, params = {&kParamsTable};
    if (!CALL(driver, CaptureDriverTable, Open, &logSink, &allocator, &params))
        Fail("Open failed");
    else {
        if (!atomic_load(&host.openedLine))
            Fail("no \"DRIVER IS OPENED\" line at level 3");
        Object* video = CALL(driver, CaptureDriverTable, GetVideoCaptureEx2);
        if (video == NULL || CALL(video, VideoCaptureTable, GetChannelCount) != 1)
            Fail("GetVideoCaptureEx2 gave no video capture with one channel");
        else
            ReceiveFrames(video);
    }
    CALL(driver, CaptureDriverTable, Close);
    destroy(driver);
    if (atomic_load(&host.framesAllocated) != atomic_load(&host.framesReleased))
        Fail("%d frames allocated, %d released", atomic_load(&host.framesAllocated),
             atomic_load(&host.framesReleased));
}

int main(int argc, char** argv)
{
    if (argc < 7) {
        fprintf(stderr, "usage: %s LIBRARY ADDRESS HTTP_PORT USER PASSWORD MODEL [PARAMETER1 ...]\n", argv[0]);
        return 2;
    }
    setvbuf(stdout, NULL, _IONBF, 0);  /* lines in order with the camera's, also when a driver thread ends the run */
    host.address = argv[2], host.port = (uint16_t)atoi(argv[3]), host.user = argv[4], host.password = argv[5];
    host.model = argv[6], host.parameters = argv + 7, host.parameterCount = argc - 7;
    void* library = OpenLibrary(argv[1]);
    if (library == NULL) {
        Fail("cannot load %s", argv[1]);
        return 1;
    }
    Run(library);
    CloseLibrary(library);
    printf("AbiHost: %d frames received, %d allocated, %d released, %d failed checks\n",
           atomic_load(&host.framesGood), atomic_load(&host.framesAllocated), atomic_load(&host.framesReleased),
           atomic_load(&host.failures));
    return atomic_load(&host.failures) == 0 ? 0 : 1;
}
