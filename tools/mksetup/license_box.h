// The license as the setup program shows it: a read-only multi-line edit
// box, 238 dialog units wide in MS Shell Dlg 8 pt (MS Sans Serif), which
// breaks lines at CR LF and wraps a longer line at its right edge, so that
// a text formatted for 72 or 80 columns shows every long line broken once
// more, with a short remainder: ragged. Joining the lines of each paragraph
// lets the box wrap the paragraph evenly instead.
//
// The box's width for text: the font's average character (the dialog base
// unit) is 6 pixels, a dialog unit a quarter of it, so 238 units are 357
// pixels; less the border (2), the vertical scroll bar (16) and the edit
// box's margins (about 2), about 337 pixels. That is 56 characters of the
// average width, or about 70 characters of English text, whose blanks and
// small letters are narrower.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mksetup {

constexpr int kLicenseBoxPixels = 337;

// The width of `line` (UTF-8) in pixels of MS Sans Serif 8 pt, trailing
// blanks left out; a character beyond ASCII counts as the average, 6.
int LicenseLineWidth(std::string_view line);

struct LicenseLines {
    std::vector<std::string> lines;  // UTF-8, as they are to be packed
    std::vector<std::size_t> origin; // each line's number in the author's text
    std::vector<bool> joined;        // each line: made by joining lines
    std::size_t paragraphs = 0;      // paragraphs joined
};

// The author's lines as they are: nothing joined.
LicenseLines LicenseAsWritten(const std::vector<std::string>& lines);

// The lines with each paragraph (lines between blank lines) joined into
// one, blanks at the joints made one, where the paragraph reads as running
// text: its lines after the first begin with no blank and no list marker
// ("-", "*", "+", "1.", "a)", "(iv)", ...), and no line of it holds a tab
// or "|", a wide gap of blanks inside the text (a table), or no letter or
// digit at all (a rule). The first line keeps its indentation or marker.
// Any other paragraph stays as written.
LicenseLines ReflowLicense(const std::vector<std::string>& lines);

} // namespace mksetup
