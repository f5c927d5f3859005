#pragma once
// Texts kept under tests/data: canned replies, expected requests and records
// (the test programs know the folder as TALLOWCAM_TEST_DATA_DIR).
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace korvane::test {

// The whole file at tests/data/<path>, without a final line break.
inline std::string ReadTestData(const std::string& path)
{
    std::ifstream file(std::string(TALLOWCAM_TEST_DATA_DIR) + "/" + path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    std::string contents = text.str();
    if (!contents.empty() && contents.back() == '\n')
        contents.pop_back();
    return contents;
}

// A file of named texts: a line "== name" starts each text, whose lines follow
// and are joined without line breaks (long XML reads better wrapped). Lines
// before the first name describe the file.
inline std::map<std::string, std::string> ReadTestDataTexts(const std::string& path)
{
    std::istringstream lines(ReadTestData(path));
    std::map<std::string, std::string> texts;
    std::string line;
    std::string* current = nullptr;
    while (std::getline(lines, line)) {
        if (line.rfind("== ", 0) == 0)
            current = &texts[line.substr(3)];
        else if (current != nullptr)
            *current += line;
    }
    return texts;
}

// The lines of tests/data/<path> that are neither empty nor comments ('#').
inline std::vector<std::string> ReadTestDataLines(const std::string& path)
{
    std::istringstream text(ReadTestData(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line[0] != '#')
            lines.push_back(line);
    }
    return lines;
}

}  // namespace korvane::test
