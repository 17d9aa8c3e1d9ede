#include "shell/CredentialCodec.h"

#include <gtest/gtest.h>

namespace {

using quorlan::shell::DecodeCredential;
using quorlan::shell::EncodeCredential;
using quorlan::shell::kMaxCredentialPlainBytes;

struct CodecCase {
    std::string plain;
    std::string stored;
};

TEST(CredentialCodec, KnownVectorsBothWays) {
    const CodecCase cases[] = {
        {"abc", "SQD^."},
        {"", "."},
        {"a", "SK;;."},       // one character: two encoded, two fill characters (code 59), "."
        {"ab", "SQC;."},
        {"abcd", "SQD^T;;;."},
        {"\xFF\xFF\xFF", "zzzz."}, // highest values: every character at most "z"
        {"010-1234-5678", "G>?kFN?mGnKhHNSrI;;;."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeCredential(c.plain), c.stored) << c.plain;
        EXPECT_EQ(DecodeCredential(c.stored), c.plain) << c.stored;
    }
}

TEST(CredentialCodec, DecodingUsesOnlyWholeGroupsBeforeTheLastCharacter) {
    const CodecCase cases[] = {
        {"", ""},
        {"", "."},
        {"", "SQD^"},      // no final ".": the only group is lost
        {"abc", "SQD^T;;;"}, // the last group is lost
        {"abc", "SQD^SQ"},  // incomplete group ignored
        {"abc", "SQD^x"},   // any last character takes the place of "."
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeCredential(c.stored), c.plain) << c.stored;
    }
}

TEST(CredentialCodec, TextNotInEncodedFormDecodesWithoutChecks) {
    // Characters below ";" wrap around modulo 256; decoding stops at the first zero byte.
    EXPECT_EQ(DecodeCredential("!!!!."), std::string("\x9E\x79\xE6", 3));
    EXPECT_EQ(DecodeCredential(";;;;SQD^."), "");
}

TEST(CredentialCodec, RoundTripOfEveryByteValueExceptZero) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    auto stored = EncodeCredential(all);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->size(), 4 * 85 + 1u);
    EXPECT_EQ(DecodeCredential(*stored), all);
}

TEST(CredentialCodec, LongestValueFitsAndLongerIsRefusedNotCut) {
    auto longest = EncodeCredential(std::string(kMaxCredentialPlainBytes, 'x'));
    ASSERT_TRUE(longest);
    EXPECT_EQ(longest->size(), 4093u); // 4,092 characters and "."; with the line feed 4,094 of 4,096
    EXPECT_FALSE(EncodeCredential(std::string(kMaxCredentialPlainBytes + 1, 'x')));
}

} // namespace
