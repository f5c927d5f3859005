#pragma once
// One GET to the camera with the standard result codes and texts.
#include <cstdint>
#include <string>
#include <vector>

#include "driver/ResultDef.h"
#include "runtime/HttpSender.h"

namespace korvane::HUtils {

CResultDef RequestGetRD(Web::CHttpSender& sender, const std::string& path, std::vector<uint8_t>& body);
// The body as text when the request succeeded; the sender's status code tells why it did not.
bool RequestGetText(Web::CHttpSender& sender, const std::string& path, std::string& text);
bool RequestGet(Web::CHttpSender& sender, const std::string& path);

}  // namespace korvane::HUtils
