#include "streaming/H264RTPMediaParser.h"

#include <cstring>

#include "driver/IDriver.h"
#include "streaming/RTPPacket.h"
#include "streaming/SdpInfo.h"

namespace korvane {
namespace {

const uint8_t kStartCode[] = {0, 0, 1};
const uint8_t kFrameTrailer[] = {0, 0, 0, 1, 9};  // access unit delimiter start
constexpr size_t kSpsSearchLength = 64;

enum NalType : uint8_t {
    kNalIdrSlice = 5,
    kNalSei = 6,
    kNalSps = 7,
    kNalPps = 8,
    kNalAccessUnitDelimiter = 9,
    kNalStapA = 24,
    kNalFuA = 28
};

// Reads the bits of an SPS, most significant first; past the end it yields 1-bits.
class CSpsBitReader {
public:
    CSpsBitReader(const uint8_t* begin, const uint8_t* end) : m_current(begin), m_end(end) {}

    uint32_t Bit()
    {
        if (m_current >= m_end) {
            m_overrun = true;
            return 1;
        }
        const uint32_t bit = (*m_current >> (7 - m_bitIndex)) & 1;
        if (++m_bitIndex == 8) {
            m_bitIndex = 0;
            ++m_current;
        }
        return bit;
    }
    uint32_t Bits(int count)
    {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i)
            value = (value << 1) | Bit();
        return value;
    }
    uint32_t Ue()
    {
        int zeros = 0;
        while (Bit() == 0) {
            if (++zeros > 31) {
                m_overrun = true;
                return 0;
            }
        }
        return static_cast<uint32_t>((uint64_t{1} << zeros) - 1 + Bits(zeros));
    }
    int64_t Se()
    {
        const uint32_t k = Ue();
        const int64_t magnitude = (int64_t{k} + 1) / 2;
        return k % 2 == 0 ? -magnitude : magnitude;
    }
    bool Overrun() const { return m_overrun; }

private:
    const uint8_t* m_current;
    const uint8_t* m_end;
    int m_bitIndex = 0;
    bool m_overrun = false;
};

void SkipScalingList(CSpsBitReader& reader, int entries)
{
    int last = 8;
    int next = 8;
    for (int i = 0; i < entries && !reader.Overrun(); ++i) {
        if (next != 0)
            next = static_cast<int>(((last + reader.Se()) % 256 + 256) % 256);
        if (next != 0)
            last = next;
    }
}

bool IsSlice(uint8_t nalType)
{
    return nalType >= 1 && nalType <= kNalIdrSlice;
}

// A frame begins with the slice at macroblock 0 (first_mb_in_slice, ue(v), is
// then the single bit 1): any other slice is the rest of a picture whose
// start was lost.
bool CanBeginFrame(uint8_t nalType, uint8_t firstSliceByte)
{
    return !IsSlice(nalType) || (firstSliceByte & 0x80) != 0;
}

const uint8_t* FindSps(const uint8_t* data, size_t length)
{
    const size_t searched = length < kSpsSearchLength ? length : kSpsSearchLength;
    for (size_t i = 0; i + 3 < searched; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && (data[i + 3] & 0x1F) == kNalSps)
            return data + i + 4;
    }
    return nullptr;
}

}  // namespace

bool ReadPictureSizeFromSps(const uint8_t* annexB, size_t length, uint32_t& width, uint32_t& height)
{
    const uint8_t* sps = FindSps(annexB, length);
    if (sps == nullptr)
        return false;
    CSpsBitReader reader(sps, annexB + length);
    const uint32_t profileIdc = reader.Bits(8);
    reader.Bits(8);  // constraint and reserved bits
    reader.Bits(8);  // level_idc
    reader.Ue();     // seq_parameter_set_id
    if (profileIdc >= 100) {
        if (reader.Ue() == 3)  // chroma_format_idc
            reader.Bit();      // separate_colour_plane_flag
        reader.Ue();           // bit_depth_luma_minus8
        reader.Ue();           // bit_depth_chroma_minus8
        reader.Bit();          // qpprime_y_zero_transform_bypass_flag
        if (reader.Bit()) {    // seq_scaling_matrix_present_flag
            for (int list = 0; list < 8; ++list) {
                if (reader.Bit())
                    SkipScalingList(reader, list < 6 ? 16 : 64);
            }
        }
    }
    reader.Ue();  // log2_max_frame_num_minus4
    const uint32_t picOrderCntType = reader.Ue();
    if (picOrderCntType == 0) {
        reader.Ue();  // log2_max_pic_order_cnt_lsb_minus4
    } else if (picOrderCntType == 1) {
        reader.Bit();  // delta_pic_order_always_zero_flag
        reader.Se();   // offset_for_non_ref_pic
        reader.Se();   // offset_for_top_to_bottom_field
        const uint32_t cycle = reader.Ue();
        for (uint32_t i = 0; i < cycle && !reader.Overrun(); ++i)
            reader.Se();
    }
    reader.Ue();   // max_num_ref_frames
    reader.Bit();  // gaps_in_frame_num_value_allowed_flag
    const uint64_t widthInMbs = uint64_t{reader.Ue()} + 1;
    const uint64_t heightInMapUnits = uint64_t{reader.Ue()} + 1;
    const uint32_t frameMbsOnly = reader.Bit();
    uint64_t pictureWidth = widthInMbs * 16;
    uint64_t pictureHeight = (2 - frameMbsOnly) * heightInMapUnits * 16;
    if (!frameMbsOnly)
        reader.Bit();  // mb_adaptive_frame_field_flag
    reader.Bit();      // direct_8x8_inference_flag
    if (reader.Bit()) {  // frame_cropping_flag
        const uint64_t left = reader.Ue();
        const uint64_t right = reader.Ue();
        const uint64_t top = reader.Ue();
        const uint64_t bottom = reader.Ue();
        const uint64_t cropWidth = 2 * (left + right);
        const uint64_t cropHeight = 2 * (top + bottom);
        if (cropWidth >= pictureWidth || cropHeight >= pictureHeight)
            return false;
        pictureWidth -= cropWidth;
        pictureHeight -= cropHeight;
    }
    if (reader.Overrun() || pictureWidth > UINT32_MAX || pictureHeight > UINT32_MAX)
        return false;
    width = static_cast<uint32_t>(pictureWidth);
    height = static_cast<uint32_t>(pictureHeight);
    return width != 0 && height != 0;
}

CH264RTPMediaParser::CH264RTPMediaParser(IDriver* driver) : CRTPMediaParser(driver) {}

void CH264RTPMediaParser::Reset()
{
    m_waitingForKeyFrame = true;
    m_fragmentOpen = false;
    m_width = 0;
    m_height = 0;
    m_frameBuffer.clear();
}

void CH264RTPMediaParser::SetParameterSets(const SdpInfo& sdp)
{
    if (sdp.sequenceParameterSet.empty() || sdp.pictureParameterSet.empty())
        return;
    std::vector<uint8_t> annexB(std::begin(kStartCode), std::end(kStartCode));
    annexB.insert(annexB.end(), sdp.sequenceParameterSet.begin(), sdp.sequenceParameterSet.end());
    annexB.insert(annexB.end(), std::begin(kStartCode), std::end(kStartCode));
    annexB.insert(annexB.end(), sdp.pictureParameterSet.begin(), sdp.pictureParameterSet.end());
    uint32_t width = 0;
    uint32_t height = 0;
    if (!ReadPictureSizeFromSps(annexB.data(), annexB.size(), width, height))
        return;
    m_sequenceParameterSet = sdp.sequenceParameterSet;
    m_pictureParameterSet = sdp.pictureParameterSet;
    m_width = width;
    m_height = height;
}

void CH264RTPMediaParser::ProcessPacket(const CRTPPacket& packet)
{
    try {
        if (IsRepeat(packet))
            return;
        if (!IsInSequence(packet))
            Reset();
        const bool handled = HandlePayload(packet.Payload(), packet.PayloadLength());
        if (!handled)
            Reset();
        if (!CheckBufferSize())
            Reset();
        if (handled && packet.m_marker && !m_frameBuffer.empty()) {
            ProcessFrame(packet.m_timeStamp);
            m_frameBuffer.clear();
        }
    } catch (...) {
        Reset();
    }
}

bool CH264RTPMediaParser::HandlePayload(const uint8_t* payload, size_t length)
{
    if (length == 0)
        return false;
    const uint8_t type = payload[0] & 0x1F;
    if (type != kNalFuA)
        m_fragmentOpen = false;
    if (type >= 1 && type <= 23)
        return HandleSingleNal(payload, length);
    if (type == kNalStapA)
        return HandleStapA(payload, length);
    if (type == kNalFuA)
        return HandleFuA(payload, length);
    return false;  // STAP-B, MTAP, FU-B and reserved types
}

bool CH264RTPMediaParser::HandleSingleNal(const uint8_t* nal, size_t length)
{
    if (length < 2 || (m_frameBuffer.empty() && !CanBeginFrame(nal[0] & 0x1F, nal[1])))
        return false;
    switch (nal[0] & 0x1F) {
    case kNalSei:
    case kNalAccessUnitDelimiter:
        return true;
    case kNalSps:
        m_sequenceParameterSet.assign(nal, nal + length);
        return true;
    case kNalPps:
        m_pictureParameterSet.assign(nal, nal + length);
        return true;
    case kNalIdrSlice:
        if (m_frameBuffer.empty())
            AppendStoredParameterSets();
        break;
    default:
        break;
    }
    AppendNal(nal, length);
    return true;
}

bool CH264RTPMediaParser::HandleStapA(const uint8_t* payload, size_t length)
{
    if (length < 4)
        return false;
    size_t offset = 1;
    while (length - offset > 1) {
        const size_t size = static_cast<size_t>(payload[offset] << 8 | payload[offset + 1]);
        offset += 2;
        if (size > length - offset)
            return false;
        AppendNal(payload + offset, size);
        offset += size;
    }
    return true;
}

bool CH264RTPMediaParser::HandleFuA(const uint8_t* payload, size_t length)
{
    if (length < 3)
        return false;
    const uint8_t indicator = payload[0];
    const uint8_t header = payload[1];
    const bool start = (header & 0x80) != 0;
    if (!start && !m_fragmentOpen)
        return false;  // the start of this NAL unit was lost
    if (start && m_frameBuffer.empty() && !CanBeginFrame(header & 0x1F, payload[2]))
        return false;
    m_fragmentOpen = (header & 0x40) == 0;
    if (start) {
        const uint8_t nalHeader = static_cast<uint8_t>((indicator & 0xE0) | (header & 0x1F));
        // The first key frame too, before any marker: the description's sets mend lost in-band ones.
        if ((nalHeader & 0x1F) == kNalIdrSlice && m_frameBuffer.empty())
            AppendStoredParameterSets();
        AppendNalHeader(nalHeader);
    }
    Append(payload + 2, length - 2);
    return true;
}

void CH264RTPMediaParser::AppendNal(const uint8_t* nal, size_t length)
{
    Append(kStartCode, sizeof kStartCode);
    Append(nal, length);
}

void CH264RTPMediaParser::AppendNalHeader(uint8_t header)
{
    Append(kStartCode, sizeof kStartCode);
    m_frameBuffer.push_back(header);
}

void CH264RTPMediaParser::AppendStoredParameterSets()
{
    if (m_sequenceParameterSet.empty() || m_pictureParameterSet.empty())
        return;
    AppendNal(m_sequenceParameterSet.data(), m_sequenceParameterSet.size());
    AppendNal(m_pictureParameterSet.data(), m_pictureParameterSet.size());
}

void CH264RTPMediaParser::ProcessFrame(uint32_t rtpTimeStamp)
{
    ipcapture::IFrameAllocator* allocator = m_driver->GetHostContext();
    if (allocator == nullptr || m_client == nullptr || m_frameBuffer.empty())
        return;
    Append(kFrameTrailer, sizeof kFrameTrailer);

    uint32_t fourCC = kFourCCOtherFrame;
    const std::string& streamName = m_client->GetStreamName();
    uint32_t width = 0;
    uint32_t height = 0;
    if (ReadPictureSizeFromSps(m_frameBuffer.data(), m_frameBuffer.size(), width, height)) {
        m_width = width;
        m_height = height;
        m_waitingForKeyFrame = false;
        fourCC = kFourCCKeyFrame;
        StorePictureSize(streamName);
    } else if (m_waitingForKeyFrame) {
        m_frameBuffer.clear();
        return;
    }

    const uint32_t length = static_cast<uint32_t>(m_frameBuffer.size());
    CAllocatedFrame frame(allocator, fourCC, length, streamName);
    if (frame.Get() == nullptr)
        return;
    uint8_t* buffer = frame.Buffer();
    if (buffer == nullptr) {
        m_driver->DebugMessage(kLogError, "%s: Data copying error, device %s", "korvane::CH264RTPMediaParser::ProcessFrame",
                               m_driver->GetDeviceName());
        Reset();
        return;
    }
    std::memcpy(buffer, m_frameBuffer.data(), length);
    SetPictureSizeOn(frame.Get());
    frame.Get()->SetDataSize(length);
    frame.Get()->SetFourCC(fourCC);
    if (!HandOver(frame.Get(), rtpTimeStamp))
        Reset();
}

}  // namespace korvane
