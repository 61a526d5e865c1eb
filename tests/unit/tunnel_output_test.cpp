// SPDX-License-Identifier: GPL-3.0-or-later
// The kept output of a tunnel's children: lines, bounds and the masked password.
#include "tunnel/TunnelOutput.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
const TunnelOutput::Time t0{};

TEST(TunnelOutputLines, LinesSplitAcrossChunksComeOutWholeWithoutTheirLineEnds) {
    TunnelOutput out;
    EXPECT_EQ(out.append("ssh: connect to ho", t0), Lines{});
    EXPECT_EQ(out.append("st db port 22: Connection refused\r\nsecond\nthi", t0),
              (Lines{"ssh: connect to host db port 22: Connection refused", "second"}));
    EXPECT_EQ(out.finish(t0), Lines{"thi"});
    EXPECT_EQ(out.finish(t0), Lines{}); // nothing more to finish
    EXPECT_EQ(out.totalLines(), 3u);
}

TEST(TunnelOutputLines, EmptyLinesCountAndControlCharactersAreShownAsQuestionMarks) {
    TunnelOutput out;
    EXPECT_EQ(out.append("\n\x1b[31mred\x7f\tx\rover\n", t0), (Lines{"", "?[31mred?\tx?over"}));
}

TEST(TunnelOutputBounds, KeepsOnlyTheLast500LinesAndCountsTheOthers) {
    TunnelOutput out;
    for (int i = 0; i < 1200; ++i)
        out.append("line " + std::to_string(i) + "\n", t0);
    ASSERT_EQ(out.lines().size(), TunnelOutput::kMaxLines);
    EXPECT_EQ(out.lines().front().text, "line 700");
    EXPECT_EQ(out.lines().back().text, "line 1199");
    EXPECT_EQ(out.totalLines(), 1200u);
    std::size_t bytes = 0;
    for (const auto& l : out.lines())
        bytes += l.text.size();
    EXPECT_EQ(out.retainedBytes(), bytes);
}

TEST(TunnelOutputBounds, AnEndlessLineIsCutAndItsRestDroppedUpToItsEnd) {
    TunnelOutput out;
    const std::string chunk(64 * 1024, 'x');
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(out.append(chunk, t0), Lines{});
        EXPECT_LE(out.retainedBytes(), TunnelOutput::kMaxLineLength);
    }
    const Lines done = out.append("tail\nnext\n", t0);
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0], std::string(TunnelOutput::kMaxLineLength, 'x') + TunnelOutput::kCutMarker);
    EXPECT_EQ(done[1], "next");
}

TEST(TunnelOutputBounds, ALineOfExactlyTheLimitIsNotCut) {
    TunnelOutput out;
    const std::string full(TunnelOutput::kMaxLineLength, 'y');
    EXPECT_EQ(out.append(full + "\n", t0), Lines{full});
}

TEST(TunnelOutputBounds, LinesSinceAMarkAreTheNewestOnesOnly) {
    TunnelOutput out;
    out.append("old 1\nold 2\n", t0);
    const std::size_t mark = out.totalLines();
    EXPECT_TRUE(out.linesSince(mark, 6).empty());
    out.append("a\nb\nc\n", t0);
    const auto since = out.linesSince(mark, 2);
    ASSERT_EQ(since.size(), 2u);
    EXPECT_EQ(since[0].text, "b");
    EXPECT_EQ(since[1].text, "c");
    EXPECT_EQ(out.linesSince(mark, 10).size(), 3u);
}

TEST(TunnelOutputSecret, EveryOccurrenceIsMaskedAlsoWhenSplitAcrossChunks) {
    TunnelOutput out;
    out.setSecret("s3cret pw");
    EXPECT_EQ(out.append("user s3c", t0), Lines{});
    EXPECT_EQ(out.append("ret pw@host: bad s3cret pws3cret pw\n", t0),
              Lines{"user ********@host: bad ****************"});
}

TEST(TunnelOutputSecret, ASecretAtTheCutIsMaskedNotHalfShown) {
    const std::string secret = "Tr0ub4dor&3";
    for (std::size_t before : {TunnelOutput::kMaxLineLength - 4, TunnelOutput::kMaxLineLength - 1,
                               TunnelOutput::kMaxLineLength}) {
        TunnelOutput out;
        out.setSecret(secret);
        const Lines done =
            out.append(std::string(before, '.') + secret + std::string(5000, '.') + "\n", t0);
        ASSERT_EQ(done.size(), 1u);
        EXPECT_EQ(done[0].find("Tr0"), std::string::npos) << before;
        EXPECT_EQ(done[0].find("r0ub"), std::string::npos) << before;
    }
}

// Masking the early copies shortens the line; the copy at the cut must be masked all the same,
// also when the bytes come one at a time.
TEST(TunnelOutputSecret, CopiesBeforeTheCutDoNotLetTheCopyAtTheCutThrough) {
    const std::string secret = "Twenty-chars-secret!";
    ASSERT_EQ(secret.size(), 20u);
    const std::string line =
        secret + secret + std::string(990, '.') + secret + std::string(5000, '.') + "\n";
    const std::string expected = std::string(16, '*') + std::string(990, '.') + "********" +
                                 std::string(10, '.') + TunnelOutput::kCutMarker;
    for (std::size_t chunk : {line.size(), std::size_t{1}, std::size_t{7}}) {
        TunnelOutput out;
        out.setSecret(secret);
        Lines done;
        for (std::size_t at = 0; at < line.size(); at += chunk)
            for (auto& l : out.append(line.substr(at, chunk), t0))
                done.push_back(l);
        EXPECT_EQ(done, Lines{expected}) << "chunks of " << chunk;
    }
}

TEST(TunnelOutputSecret, AnEmptySecretMasksNothing) {
    TunnelOutput out;
    out.setSecret("");
    EXPECT_EQ(out.append("plain\n", t0), Lines{"plain"});
}

} // namespace
