// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/Cipher.h"

#include <cctype>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

std::string keyOfLength(std::size_t n, char fill = 'k') {
    return std::string(n, fill);
}

// A second, deliberately naive implementation written straight from the format's rules:
// shift i mod (L + 1), letters rotated by 13 + shift, "1".."8" mirrored, then reversed.
namespace reference {

int mod26(int v) {
    return ((v % 26) + 26) % 26;
}

char encodeByte(int k, char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<char>('A' + mod26(c - 'A' + 13 + k));
    if (c >= 'a' && c <= 'z') return static_cast<char>('a' + mod26(c - 'a' + 13 + k));
    if (c >= '1' && c <= '8') return static_cast<char>(105 - c);
    return c;
}

std::string encrypt(const std::string& text, std::size_t keyLength) {
    std::string mapped;
    for (std::size_t i = 0; i < text.size(); ++i)
        mapped += encodeByte(static_cast<int>(i % (keyLength + 1)), text[i]);
    std::string reversed;
    for (std::size_t i = mapped.size(); i > 0; --i)
        reversed += mapped[i - 1];
    return reversed;
}

} // namespace reference

std::string allTestBytes() {
    std::string bytes = "\r\n\x1f";
    for (int c = 0x20; c < 0x7f; ++c)
        bytes += static_cast<char>(c);
    return bytes;
}

} // namespace

TEST(CipherMix, ReversesTheText) {
    EXPECT_EQ(cipher::mixString(""), "");
    EXPECT_EQ(cipher::mixString("a"), "a");
    EXPECT_EQ(cipher::mixString("ab\r\n"), "\n\rba");
}

TEST(CipherWorkedExamples, MatchTheStoredFormat) {
    EXPECT_EQ(cipher::encryptString("abc", ""), "pon");
    EXPECT_EQ(cipher::encryptString("abc", "xy"), "rpn");
    EXPECT_EQ(cipher::decryptString("pon", ""), "abc");
    EXPECT_EQ(cipher::decryptString("rpn", "ab"), "abc");
    for (std::size_t n : {0u, 1u, 5u, 40u})
        EXPECT_EQ(cipher::encryptString("0123456789", keyOfLength(n)), "9123456780") << n;
}

TEST(CipherWorkedExamples, EmptyTextStaysEmpty) {
    for (std::size_t n : {0u, 3u, 29u}) {
        EXPECT_EQ(cipher::encryptString("", keyOfLength(n)), "");
        EXPECT_EQ(cipher::decryptString("", keyOfLength(n)), "");
    }
}

TEST(CipherKey, OnlyItsLengthMatters) {
    const std::string text = "Server.example:22\r\nuser\x1fPa55 w0rd!";
    EXPECT_EQ(cipher::encryptString(text, "alice"), cipher::encryptString(text, "ZZ9#!"));
    EXPECT_EQ(cipher::encryptString(text, "529"), cipher::encryptString(text, "abc"));
    EXPECT_NE(cipher::encryptString(text, "529"), cipher::encryptString(text, "5290"));
}

TEST(CipherDigits, ZeroAndNineKeptOneToEightMirroredAtEveryShift) {
    // With a key of length 30 the shifts run 0..30, so position i of a long run of one
    // digit sees every shift at least once.
    for (char d = '0'; d <= '9'; ++d) {
        const std::string plain(64, d);
        const char expected = (d == '0' || d == '9') ? d : static_cast<char>('1' + '8' - d);
        EXPECT_EQ(cipher::encryptString(plain, keyOfLength(30)), std::string(64, expected)) << d;
    }
}

TEST(CipherShift, LongKeysWrapLettersBothWays) {
    // Shifts of 14 and more push the inverse below "A"; it must wrap back into the alphabet.
    const std::string letters = "AZaz" + std::string("MmNn") + "abcdefghijklmnopqrstuvwxyz";
    for (std::size_t n : {13u, 14u, 25u, 26u, 27u, 52u, 100u}) {
        const std::string key = keyOfLength(n);
        const std::string cipherText = cipher::encryptString(letters, key);
        for (char c : cipherText)
            EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(c))) << n;
        EXPECT_EQ(cipher::decryptString(cipherText, key), letters) << n;
    }
    // Shift 14 at position 14: "a" + 13 + 14 = "a" + 1.
    EXPECT_EQ(cipher::encryptString(std::string(14, '.') + "a", keyOfLength(14)).front(), 'b');
}

TEST(CipherLines, CrLfIsStoredAsLfCr) {
    const std::string stored = cipher::encryptString("x\r\ny", "any");
    ASSERT_EQ(stored.size(), 4u);
    EXPECT_EQ(stored.substr(1, 2), "\n\r");
}

TEST(CipherRoundTrip, EveryPrintableByteAndLineBreaksForKeyLengthsUpTo30) {
    const std::string bytes = allTestBytes();
    // The text repeated so that every byte meets several shifts.
    const std::string text = bytes + bytes + bytes;
    for (std::size_t n = 0; n <= 30; ++n) {
        const std::string key = keyOfLength(n, 'q');
        const std::string stored = cipher::encryptString(text, key);
        ASSERT_EQ(stored.size(), text.size());
        EXPECT_EQ(cipher::decryptString(stored, key), text) << "key length " << n;
    }
}

TEST(CipherNonAscii, BytesOutsideAsciiAreLeftAsTheyAre) {
    const std::string text = "a\xc3\xa9"
                             "b\x80\xff"
                             "1";
    const std::string stored = cipher::encryptString(text, "ab");
    ASSERT_EQ(stored.size(), text.size());
    // Reversed: "1" mirrored, the high bytes untouched, letters rotated ("b" sits at
    // position 3, shift 0 again with a key of two).
    EXPECT_EQ(stored, std::string("8\xff\x80") + "o" + "\xa9\xc3" + "n");
    EXPECT_EQ(cipher::decryptString(stored, "ab"), text);
}

TEST(CipherReference, AgreesWithAnIndependentImplementationOnRandomText) {
    std::mt19937 rng(20240607);
    std::uniform_int_distribution<int> byte(0, 127);
    std::uniform_int_distribution<std::size_t> length(0, 80);
    std::uniform_int_distribution<std::size_t> keyLength(0, 60);
    for (int round = 0; round < 2000; ++round) {
        std::string text(length(rng), '\0');
        for (char& c : text)
            c = static_cast<char>(byte(rng));
        const std::string key = keyOfLength(keyLength(rng));
        const std::string stored = cipher::encryptString(text, key);
        ASSERT_EQ(stored, reference::encrypt(text, key.size())) << "round " << round;
        ASSERT_EQ(cipher::decryptString(stored, key), text) << "round " << round;
    }
}

// A login name is read as UTF-8: the key length is its number of characters, not of bytes.
TEST(CipherKeyLength, CountsUtf8CharactersNotBytes) {
    EXPECT_EQ(cipher::keyLength(""), 0u);
    EXPECT_EQ(cipher::keyLength("alice"), 5u);
    EXPECT_EQ(cipher::keyLength("zo\xc3\xab"), 3u);               // zoë: 2-byte ë
    EXPECT_EQ(cipher::keyLength("\xe7\x94\xb0\xe4\xb8\xad"), 2u); // two 3-byte characters
    EXPECT_EQ(cipher::keyLength("a\xf0\x9f\x90\xa7z"), 3u);       // a 4-byte character
}

TEST(CipherKeyLength, EachByteOutsideAWellFormedSequenceCountsOnce) {
    EXPECT_EQ(cipher::keyLength("\x80\xbf"), 2u);         // stray continuation bytes
    EXPECT_EQ(cipher::keyLength("a\xc3"), 2u);            // sequence cut short at the end
    EXPECT_EQ(cipher::keyLength("\xc3z"), 2u);            // lead byte without its follower
    EXPECT_EQ(cipher::keyLength("\xc0\xaf"), 2u);         // overlong "/"
    EXPECT_EQ(cipher::keyLength("\xed\xa0\x80"), 3u);     // a surrogate is no character
    EXPECT_EQ(cipher::keyLength("\xf4\x90\x80\x80"), 4u); // beyond U+10FFFF
    EXPECT_EQ(cipher::keyLength("\xe2\x82"), 2u);         // 3-byte sequence missing a byte
}

TEST(CipherKeyLength, ANonAsciiKeyEnciphersLikeAnAsciiKeyOfAsManyCharacters) {
    const std::string text = "Server.example:22\r\nuser\x1fPa55 w0rd! abcdefghijklmnopqrstuvwxyz";
    const std::string zoe = "zo\xc3\xab";
    EXPECT_EQ(cipher::encryptString(text, zoe), cipher::encryptString(text, "abc"));
    EXPECT_NE(cipher::encryptString(text, zoe), cipher::encryptString(text, "abcd"));
    EXPECT_EQ(cipher::encryptString(text, zoe), reference::encrypt(text, 3));
    EXPECT_EQ(cipher::decryptString(cipher::encryptString(text, zoe), zoe), text);
}
