// Every input of the fuzzers' corpus and every input that once made a fuzzer
// fail goes through its entry again: the parser's rules must hold, and the
// sanitizers of this build judge the rest.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "FuzzEntries.h"

namespace korvane::fuzz {
namespace {

namespace fs = std::filesystem;

const fs::path kFuzzDirectory = TALLOWCAM_FUZZ_DIR;

std::vector<uint8_t> ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The files directly in kind/<target name>, none when the folder is missing.
std::vector<fs::path> Inputs(const std::string& kind, const std::string& target)
{
    std::vector<fs::path> inputs;
    const fs::path folder = kFuzzDirectory / kind / target;
    if (fs::is_directory(folder)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
        }
    }
    return inputs;
}

TEST(FuzzRegressionTest, EveryTargetHasASeedCorpusAndEveryCorpusATarget)
{
    std::set<std::string> corpora;
    for (const fs::directory_entry& entry : fs::directory_iterator(kFuzzDirectory / "corpus"))
        corpora.insert(entry.path().filename().string());
    std::set<std::string> targets;
    for (const FuzzTarget& target : FuzzTargets()) {
        targets.insert(target.name);
        EXPECT_FALSE(Inputs("corpus", target.name).empty()) << target.name;
    }
    EXPECT_EQ(corpora, targets);
}

class EachTarget : public ::testing::TestWithParam<FuzzTarget> {};

TEST_P(EachTarget, CorpusAndRegressionsRunClean)
{
    const FuzzTarget& target = GetParam();
    for (const char* kind : {"corpus", "regressions"}) {
        for (const fs::path& input : Inputs(kind, target.name)) {
            SCOPED_TRACE(input.string());
            const std::vector<uint8_t> bytes = ReadBytes(input);
            EXPECT_TRUE(target.entry(bytes.data(), bytes.size()));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fuzz, EachTarget, ::testing::ValuesIn(FuzzTargets()),
                         [](const ::testing::TestParamInfo<FuzzTarget>& info) { return info.param.name; });

}  // namespace
}  // namespace korvane::fuzz
