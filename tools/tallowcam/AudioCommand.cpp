#include "AudioCommand.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CommandSupport.h"
#include "QueriedCamera.h"

namespace tallowcam_host {

namespace {

using namespace korvane::ipcapture;

constexpr uint32_t kFourCCMuLaw = 0x4D313137;  // "711M"
constexpr uint32_t kSampleRate = 8000;
constexpr uint32_t kBitRate = 64000;
constexpr uint32_t kAudioId = 1;
constexpr size_t kPacketBytes = 800;  // 100 ms
constexpr auto kStateWait = std::chrono::seconds(15);

struct AudioOptions {
    std::string plugin = DefaultPluginPath();
    CameraConnection camera;
    uint32_t listenSeconds = 0;
    std::string outFile;
    std::string sayFile;
};

// ---- WAV files: G.711 mu-law (format 7) or 16-bit PCM, mono, 8000 Hz -------

void PutLittleEndian(std::string& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint32_t GetLittleEndian(const std::string& in, size_t at, int bytes)
{
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | static_cast<uint8_t>(in[at + static_cast<size_t>(i)]);
    return value;
}

bool WriteMuLawWav(const std::string& path, const std::vector<uint8_t>& samples)
{
    const uint32_t size = static_cast<uint32_t>(samples.size());
    std::string file = "RIFF";
    PutLittleEndian(file, 4 + (8 + 18) + (8 + 4) + (8 + size + size % 2), 4);
    file += "WAVEfmt ";
    PutLittleEndian(file, 18, 4);
    PutLittleEndian(file, 7, 2);  // mu-law
    PutLittleEndian(file, 1, 2);
    PutLittleEndian(file, kSampleRate, 4);
    PutLittleEndian(file, kSampleRate, 4);  // bytes per second
    PutLittleEndian(file, 1, 2);            // block align
    PutLittleEndian(file, 8, 2);
    PutLittleEndian(file, 0, 2);
    file += "fact";
    PutLittleEndian(file, 4, 4);
    PutLittleEndian(file, size, 4);
    file += "data";
    PutLittleEndian(file, size, 4);
    file.append(samples.begin(), samples.end());
    if (size % 2 != 0)
        file += '\0';
    std::ofstream out(path, std::ios::binary);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}

uint8_t MuLawEncode(int16_t linear)
{
    constexpr int kBias = 0x84;
    constexpr int kClip = 32635;
    int sample = linear;
    const uint8_t sign = sample < 0 ? 0x80 : 0x00;
    sample = std::min(sample < 0 ? -sample : sample, kClip) + kBias;
    int exponent = 7;
    for (int mask = 0x4000; (sample & mask) == 0 && exponent > 0; mask >>= 1)
        --exponent;
    const int mantissa = (sample >> (exponent + 3)) & 0x0F;
    return static_cast<uint8_t>(~(sign | (exponent << 4) | mantissa));
}

// The sound of a mono 8000 Hz WAV file as mu-law bytes; false with a reason.
bool ReadWavAsMuLaw(const std::string& path, std::vector<uint8_t>& samples, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < 12 || file.compare(0, 4, "RIFF") != 0 || file.compare(8, 4, "WAVE") != 0) {
        error = "not a WAV file: " + path;
        return false;
    }
    uint32_t format = 0, channels = 0, rate = 0, bits = 0;
    for (size_t at = 12; at + 8 <= file.size();) {
        const std::string id = file.substr(at, 4);
        const size_t size = std::min<size_t>(GetLittleEndian(file, at + 4, 4), file.size() - at - 8);
        const size_t body = at + 8;
        if (id == "fmt " && size >= 16) {
            format = GetLittleEndian(file, body, 2);
            channels = GetLittleEndian(file, body + 2, 2);
            rate = GetLittleEndian(file, body + 4, 4);
            bits = GetLittleEndian(file, body + 14, 2);
        } else if (id == "data") {
            if (channels != 1 || rate != kSampleRate || !((format == 7 && bits == 8) || (format == 1 && bits == 16))) {
                error = "the file must be mono 8000 Hz, G.711 mu-law or 16-bit PCM: " + path;
                return false;
            }
            if (format == 7) {
                samples.assign(file.begin() + static_cast<std::ptrdiff_t>(body),
                               file.begin() + static_cast<std::ptrdiff_t>(body + size));
            } else {
                for (size_t i = 0; i + 1 < size; i += 2)
                    samples.push_back(MuLawEncode(static_cast<int16_t>(GetLittleEndian(file, body + i, 2))));
            }
            return true;
        }
        at = body + size + size % 2;
    }
    error = "no sound data in " + path;
    return false;
}

// ---- Host objects -----------------------------------------------------------

class AudioBuffer final : public IAudioData {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    void SetData(const uint8_t* data, uint32_t size) override { m_bytes.assign(data, data + size); }
    const uint8_t* GetData() override { return m_bytes.empty() ? nullptr : m_bytes.data(); }
    uint32_t GetDataSize() override { return static_cast<uint32_t>(m_bytes.size()); }
    void Commit() override {}
    uint32_t GetFourCC() override { return m_fourCC; }
    void SetFourCC(uint32_t fourCC) override { m_fourCC = fourCC; }
    void SetBitRate(uint32_t bitRate) override { m_bitRate = bitRate; }
    void SetChannelId(uint8_t id) override { m_channelId = id; }
    uint32_t GetChannelId() override { return m_channelId; }
    uint8_t IsStereo() override { return m_stereo; }
    uint32_t GetSampleRate() override { return m_sampleRate; }
    uint32_t GetBitRate() override { return m_bitRate; }
    void SetFormat(uint32_t sampleRate, uint8_t, uint8_t stereo) override
    {
        m_sampleRate = sampleRate;
        m_stereo = stereo;
    }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
    uint32_t m_fourCC = 0, m_bitRate = 0, m_channelId = 0, m_sampleRate = 0;
    uint8_t m_stereo = 0;
};

// Hands out and takes back audio buffers, keeps the captured sound and the
// channels' states.
class AudioHost final : public IFrameAllocator, public IAudioSink, public IAudioStateSink {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    IHostFrame* AllocateFrame(uint32_t, uint32_t, const char*) override { return nullptr; }
    void ReleaseFrame(IHostFrame*) override {}
    IAudioData* AllocateAudioFrame(uint32_t, uint32_t, const char*) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_outstanding;
        return new AudioBuffer;
    }
    void ReleaseAudioFrame(IAudioData* frame) override
    {
        delete static_cast<AudioBuffer*>(frame);
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_outstanding;
        m_changed.notify_all();
    }
    bool OnAudioFrame(IAudioData* frame) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto& bytes = static_cast<AudioBuffer*>(frame)->Bytes();
        m_captured.insert(m_captured.end(), bytes.begin(), bytes.end());
        m_changed.notify_all();
        return true;
    }
    void OnAudioState(uint32_t, uint32_t state) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_state = state;
        std::printf("Audio channel state %u\n", state);
        m_changed.notify_all();
    }

    IAudioData* MakePacket(const uint8_t* bytes, size_t size)
    {
        auto* packet = static_cast<AudioBuffer*>(AllocateAudioFrame(0, 0, nullptr));
        packet->SetFourCC(kFourCCMuLaw);
        packet->SetFormat(kSampleRate, 16, 0);
        packet->SetBitRate(kBitRate);
        packet->SetChannelId(kAudioId);
        packet->SetData(bytes, static_cast<uint32_t>(size));
        return packet;
    }
    bool WaitForCaptured(size_t bytes, std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_captured.size() >= bytes; });
    }
    bool WaitForState(uint32_t state, std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_state == state; });
    }
    bool WaitUntilAllReturned(std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_outstanding == 0; });
    }
    std::vector<uint8_t> Captured()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_captured;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<uint8_t> m_captured;
    uint32_t m_state = 0;
    int m_outstanding = 0;
};

class MuLawFormats final : public IAudioFormatList, private IAudioFormatEntry {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    uint32_t GetCount() override { return 1; }
    IAudioFormatEntry* GetFormat(uint32_t index) override { return index == 0 ? this : nullptr; }

private:
    uint32_t GetFourCC() override { return kFourCCMuLaw; }
    bool IsEnabled() override { return true; }
};

// ---- The two directions -----------------------------------------------------

int Listen(IIPCaptureDriverEx5& driver, AudioHost& host, const AudioOptions& options)
{
    IIPAudioCapture2* capture = driver.GetAudioCapture();
    if (capture == nullptr || !capture->OpenChannel(kAudioId, 0, &host, 0))
        return Fail("the driver opened no audio input channel");
    const size_t wanted = static_cast<size_t>(options.listenSeconds) * kSampleRate;
    const bool complete = host.WaitForCaptured(wanted, std::chrono::seconds(options.listenSeconds) + kStateWait);
    capture->CloseChannel(kAudioId);
    std::vector<uint8_t> captured = host.Captured();
    captured.resize(std::min(captured.size(), wanted));
    if (!WriteMuLawWav(options.outFile, captured)) {
        return Fail("cannot write " + options.outFile);
    }
    std::printf("Wrote %zu bytes of audio (%.1f s) to %s\n", captured.size(),
                static_cast<double>(captured.size()) / kSampleRate, options.outFile.c_str());
    return complete ? 0 : 1;
}

int Say(IIPCaptureDriverEx5& driver, AudioHost& host, const AudioOptions& options)
{
    std::vector<uint8_t> samples;
    std::string error;
    if (!ReadWavAsMuLaw(options.sayFile, samples, error)) {
        return Fail(error);
    }
    IIPAudioSender* sender = driver.GetAudioSender();
    MuLawFormats formats;
    if (sender == nullptr || !sender->OpenChannel(kAudioId, 0, &host, &formats))
        return Fail("the driver opened no audio output channel");
    int status = 0;
    if (!host.WaitForState(2, kStateWait))
        status = Fail("the camera did not accept audio");
    const auto packetTime = std::chrono::milliseconds(kPacketBytes * 1000 / kSampleRate);
    auto due = std::chrono::steady_clock::now();
    for (size_t at = 0; status == 0 && at < samples.size(); at += kPacketBytes) {
        IAudioData* packet = host.MakePacket(samples.data() + at, std::min(kPacketBytes, samples.size() - at));
        if (!sender->SendAudio(packet)) {
            host.ReleaseAudioFrame(packet);  // refused packets stay with the host
            status = Fail("the driver refused an audio packet");
        }
        due += packetTime;
        std::this_thread::sleep_until(due);
    }
    if (status == 0 && !host.WaitUntilAllReturned(kStateWait))
        status = 1;
    sender->CloseChannel(kAudioId);
    if (status == 0)
        std::printf("Sent %zu bytes of audio (%.1f s)\n", samples.size(), static_cast<double>(samples.size()) / kSampleRate);
    return status;
}

int RunAudio(const AudioOptions& options)
{
    QueriedCamera camera;
    std::string error;
    AudioHost host;
    if (!camera.Query(options.plugin, options.camera, error) || !camera.Open(camera.Settings(), error, &host))
        return Fail(error);
    IIPCaptureDriverEx5& driver = *camera.Session().Driver();
    return options.sayFile.empty() ? Listen(driver, host, options) : Say(driver, host, options);
}

}  // namespace

void AddAudioCommand(CLI::App& app)
{
    auto options = std::make_shared<AudioOptions>();
    CLI::App* audio = app.add_subcommand("audio", "Record the camera's microphone or play a file on its loudspeaker");
    AddCameraOptions(*audio, options->camera);
    AddPluginOption(*audio, options->plugin);
    CLI::Option* listen = audio->add_option("--listen", options->listenSeconds, "Seconds of audio to record");
    CLI::Option* out = audio->add_option("--out", options->outFile, "WAV file for the recording (G.711 mu-law)");
    CLI::Option* say = audio->add_option("--say", options->sayFile, "WAV file to play (mono 8000 Hz, mu-law or PCM)");
    listen->needs(out)->excludes(say);
    out->needs(listen);
    audio->callback([options, say, listen] {
        if (say->count() == 0 && listen->count() == 0)
            throw CLI::ValidationError("audio", "give --listen N --out FILE.wav or --say FILE.wav");
        const int status = RunAudio(*options);
        if (status != 0)
            throw CLI::RuntimeError(status);
    });
}

}  // namespace tallowcam_host
