#include "runtime/Base64.h"

namespace korvane {

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kLineLength = 76;

int DigitValue(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

}  // namespace

std::string Base64Encode(const uint8_t* data, size_t length)
{
    std::string text;
    size_t lineFill = 0;
    auto put = [&](char c) {
        text += c;
        if (++lineFill == kLineLength) {
            text += "\r\n";
            lineFill = 0;
        }
    };
    for (size_t i = 0; i < length; i += 3) {
        const size_t count = length - i < 3 ? length - i : 3;
        uint32_t group = static_cast<uint32_t>(data[i]) << 16;
        if (count > 1)
            group |= static_cast<uint32_t>(data[i + 1]) << 8;
        if (count > 2)
            group |= data[i + 2];
        put(kAlphabet[(group >> 18) & 0x3F]);
        put(kAlphabet[(group >> 12) & 0x3F]);
        put(count > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=');
        put(count > 2 ? kAlphabet[group & 0x3F] : '=');
    }
    return text;
}

std::vector<uint8_t> Base64Decode(const std::string& text)
{
    std::vector<uint8_t> bytes;
    uint32_t group = 0;
    int bits = 0;
    for (char c : text) {
        const int value = DigitValue(c);
        if (value < 0)
            continue;
        group = (group << 6) | static_cast<uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<uint8_t>(group >> bits));
        }
    }
    return bytes;
}

}  // namespace korvane
