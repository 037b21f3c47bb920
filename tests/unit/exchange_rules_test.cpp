// Completing the exchange of files in use: the pairs of the rename file and
// which of them may be carried out, the number a new pair takes, and the
// temporary names the engine makes.
#include "tools/companion/ExchangeRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filemanager/EngineRules.h"
#include "format/RenameFile.h"

namespace {

TEST(ExchangePairs, KeysMatchByNumberWithoutCase) {
    std::vector<ExchangePair> pairs = exchangePairs({
        {"TempName2", "C:\\App\\qrv2.tmp"},
        {"tempname10", "C:\\App\\lib\\qrvA.tmp"},
        {"RealName2", "C:\\App\\a.dll"},
        {"Other", "x"},
        {"REALNAME10", "C:\\App\\lib\\b.dll"},
        {"TempName3", "C:\\App\\qrv3.tmp"},   // no RealName3: stays
        {"RealName4", "C:\\App\\d.dll"},      // no TempName4: stays
        {"TempName", "C:\\App\\qrv5.tmp"},    // no number: not pair 0 with the bare RealName
        {"RealName", "C:\\App\\f.dll"},
        {"TempName1x", "C:\\App\\qrv6.tmp"},  // not a number
        {"TempName1234567890", "C:\\App\\qrv7.tmp"},
        {"RealName1234567890", "C:\\App\\e.dll"},  // ten digits: not the engine's
    });
    ASSERT_EQ(2u, pairs.size());
    EXPECT_EQ(2u, pairs[0].number);
    EXPECT_EQ("C:\\App\\qrv2.tmp", pairs[0].temporary);
    EXPECT_EQ("C:\\App\\a.dll", pairs[0].real);
    EXPECT_EQ(10u, pairs[1].number);
    EXPECT_EQ("C:\\App\\lib\\qrvA.tmp", pairs[1].temporary);
    EXPECT_EQ("C:\\App\\lib\\b.dll", pairs[1].real);
    EXPECT_TRUE(exchangePairs({}).empty());
}

TEST(ExchangePairs, OnlyTheEnginesShapeIsCarriedOut) {
    auto fault = [](const char* temporary, const char* real) {
        return checkPair(ExchangePair{1, temporary, real});
    };
    EXPECT_EQ(PairFault::None, fault("C:\\App\\lib\\qrv1A2.TMP", "C:\\App\\lib\\f1.dll"));
    EXPECT_EQ(PairFault::None, fault("c:\\APP\\qrvffff.tmp", "C:\\app\\f.dll"));
    EXPECT_EQ(PairFault::None, fault("D:\\qrv1.tmp", "D:\\root.dll"));  // a drive root
    EXPECT_EQ(PairFault::NotBeside, fault("C:\\App\\qrv1.tmp", "C:\\Windows\\System32\\kernel32.dll"));
    EXPECT_EQ(PairFault::NotBeside, fault("C:\\App\\lib\\qrv1.tmp", "C:\\App\\f.dll"));
    EXPECT_EQ(PairFault::NotBeside, fault("D:\\qrv1.tmp", "C:\\x.dll"));
    EXPECT_EQ(PairFault::NotTemporaryName, fault("C:\\App\\evil.dll", "C:\\App\\f.dll"));
    EXPECT_EQ(PairFault::NotTemporaryName, fault("C:\\App\\qrv12345.tmp", "C:\\App\\f.dll"));
    EXPECT_EQ(PairFault::NotAbsolute, fault("qrv1.tmp", "f.dll"));
    EXPECT_EQ(PairFault::NotAbsolute, fault("\\\\server\\share\\qrv1.tmp", "\\\\server\\share\\f.dll"));
    EXPECT_EQ(PairFault::NotAbsolute, fault("C:\\App\\qrv1.tmp", ""));
}

TEST(ExchangePairs, TemporaryNamesAreTheSystemsQrvHexTmp) {
    for (const char* name : {"qrv1.tmp", "QRVFFFF.TMP", "qrv0a.Tmp", "qrvABCD.tmp"})
        EXPECT_TRUE(isTemporaryFileName(name)) << name;
    for (const char* name : {"qrv.tmp", "qrv12345.tmp", "qrvG.tmp", "qrv1.tmp.exe", "xrv1.tmp", "qrv1.tm",
                             "qrv1_tmp", ""})
        EXPECT_FALSE(isTemporaryFileName(name)) << name;
}

// A new pair takes the number after the highest in the section, whole pair
// or half, so that no pair of an earlier run is overwritten; the key list as
// the profile call gives it, each name terminated.
TEST(ExchangeNumbers, NewPairGoesAfterTheHighestInTheSection) {
    struct Case {
        std::vector<std::string> keys;
        unsigned long next;
    } cases[] = {
        {{}, 1},
        {{"TempName1", "RealName1"}, 2},
        {{"tempname2", "REALNAME2", "TempName10", "RealName10", "TempName3"}, 11},
        {{"RealName7"}, 8},
        {{"Other99", "TempName", "TempName5x", "TempName1234567890", "NameTemp4"}, 1},
        {{"TempName999999998", "RealName999999998"}, 999999999},
        {{"TempName999999999"}, 0},  // the next would have ten digits: no room
    };
    for (const Case& c : cases) {
        std::string list;
        for (const std::string& key : c.keys)
            list += key + '\0';
        EXPECT_EQ(c.next, nextExchangeNumber(list.data(), list.size())) << list;
    }
}

}  // namespace
