// The parameter report: collecting the controller's blocks into the fixed
// image (each block at its own place, so a failed read never moves another),
// or taking them from the demo file, the report text, and how its lines are
// laid out on printed pages.
#pragma once

#include "fixed_image.h"

#include <array>
#include <string>
#include <vector>

namespace tools {

struct ReportImage {
    FixedImage bytes{}; // zero where nothing was read
    // Nothing could be collected (the demo file is missing or short): the
    // reason, in the report's own words. Empty when collected.
    std::string failure;
    bool paramsRead = false;
    std::array<bool, kMaxChannels> nozSettsRead{};
    std::array<bool, 2> sidesRead{};
    bool naraRead = false;
    std::array<bool, kMaxChannels> nozRegsRead{};

    bool collected() const { return failure.empty(); }
    // A block whose values the text shows could not be read.
    bool anyShownBlockMissing() const;
};

// Reads the parameter block (length query), the ten channel settings, both
// sides, the advanced settings and the ten channel state registers.
ReportImage CollectReport(int port, int ctrl);
// The demo file's blocks (the fixed layout after its 7-byte header; a file
// that ends in the last seven bytes of the layout, which the report does not
// show, reads them as zeros). A file that is missing or shorter than 1100
// bytes gives no values at all.
ReportImage ReportFromDemoFile(const std::string& fileName);

// What the window tells in a message box after collecting: why nothing
// could be shown, or that some values are missing; empty when all is there.
std::string ReportProblem(const ReportImage& image);

// ShowText: the report, one entry a line (UTF-8; lines of headings start with
// a tab). Values of blocks that could not be read are not shown; the lines say
// so instead.
std::vector<std::string> ReportText(const ReportImage& image, int ctrl, bool extended);
// The lines as a text file: UTF-8, each line ended by a line feed.
std::string ReportFileText(const std::vector<std::string>& lines);

// Printed pages: 200 device units of margin left, top and right, lines 113
// units apart (100 + the 13-pixel font of the memo). A line that would reach
// below page height - 200 starts a new page; the first line of a page is
// always printed there, however small the page.
constexpr int kPrintMargin = 200;
constexpr int kPrintLineHeight = 113;
struct PrintedLine {
    int page; // from 0
    int top;  // y of the line's top edge
};
std::vector<PrintedLine> PlacePrintedLines(int lineCount, int pageHeight);
// The pages printed, from 1: every page of `places`, or `from` to `to` when
// the engineer chose a range (`from` above 0; a `to` below it prints `from` alone).
struct PageRange {
    int from, to;
};
PageRange PrintedPages(const std::vector<PrintedLine>& places, int from, int to);
// The tabs a line starts with: each moves its printed text in by eight blanks.
int LeadingTabs(const std::string& line);

} // namespace tools
