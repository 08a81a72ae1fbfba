// The plot of a coupling fit as SVG: the page layout, axes with ticks at round numbers, one
// marker per coupling coloured by class and shaped by set, the statistics corner, the legends,
// and the rows along the sequence.
#include "couplings/CouplingPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "common/Constants.h"
#include "common/Modes.h"

namespace {

using Point = CouplingPlot::Point;
using Set = CouplingPlot::Set;

// ---- page layout in user units: the file's natural size, about one printed column wide ----
constexpr double kWidth = 500;
constexpr double kMinHeight = 700;
// upper panel: a square plot area, legend to its right
constexpr double kLeft = 64;
constexpr double kTop1 = 40;
constexpr double kSize1 = 280;
constexpr double kLegendX = 366;
constexpr double kLegendStep = 15;
// lower panel: one row per coupling class, sharing kRowsSpace while each is at least kMinRow tall
constexpr double kRight2 = 486;
constexpr double kTitle2Y = 386;
constexpr double kTop2 = 400;
constexpr double kRowsSpace = 260;
constexpr double kMinRow = 44;
constexpr double kRowGap = 8;
// fonts; the smallest is 11 units
constexpr double kFontSmall = 11;
constexpr double kFontLabel = 12;
constexpr double kFontTitle = 14;
constexpr const char* kInk = "#333333";
constexpr const char* kGrid = "#e6e6e6";

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char buf[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    return buf;
}

// Length of the UTF-8 sequence that starts text[i], 0 when it is not one.
size_t utf8Length(const std::string& text, size_t i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > text.size()) return 0;
    for (size_t k = 1; k < n; k++)
        if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return 0;
    return n;
}

// Text as XML character data or attribute value; a byte that is not UTF-8 (a file name in
// another encoding) becomes '?', control characters are dropped.
std::string escaped(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        const size_t n = utf8Length(text, i);
        if (n == 0) {
            out += '?';
            i++;
            continue;
        }
        if (n > 1) {
            out.append(text, i, n);
            i += n;
            continue;
        }
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            // control characters are not allowed in XML 1.0
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n') out += c;
        }
        i++;
    }
    return out;
}

// Colour of a coupling class; distinguishable for colour-blind readers among the classes that
// usually occur together (N-H, C-HN, N-C, CA-HA, C-CA).
const char* classColour(int code) {
    static const char* const colours[] = {"#808080", "#0072B2", "#CC79A7", "#E69F00", "#56B4E9",
                                          "#882255", "#6A3D9A", "#009E73", "#999933", "#332288",
                                          "#D55E00", "#8C510A", "#44AA99"};
    return code >= 0 && code < 13 ? colours[code] : "#000000";
}

const char* setName(Set s) { return s == Set::Working ? "work" : s == Set::Validation ? "valid" : "other"; }

// A value the table prints as a number: finite and not the 9999 of a missing value (above 900 Hz).
bool isValue(double v) { return std::isfinite(v) && v <= orvex::kFitMaxD; }

// An axis over [lo, hi] placed from p0 (at lo) to p1 (at hi), with ticks at the whole multiples
// of its step inside the range, the step being 1, 2 or 5 times a power of ten.
struct Axis {
    double lo = -1, hi = 1;
    double p0 = 0, p1 = 1;
    double step = 1;
    long kLo = -1, kHi = 1;   // ticks kLo * step .. kHi * step
    int decimals = 0;
    double tick(long k) const { return static_cast<double>(k) * step; }
    double at(double v) const { return p0 + (v - lo) / (hi - lo) * (p1 - p0); }
    std::string label(long k) const {
        const double v = tick(k);
        return std::fabs(v) < 1e6 ? format("%.*f", decimals, v) : format("%g", v);
    }
};

// The largest step that leaves at least minTicks ticks inside [lo, hi]; integerSteps: no
// fractional steps (residue numbers). A range without width is widened to 1 either side.
Axis ticksInside(double lo, double hi, int minTicks, double p0, double p1, bool integerSteps = false) {
    if (!(hi > lo) || !std::isfinite(hi - lo)) {
        const double c = std::isfinite(lo) ? lo : 0;
        lo = c - 1;
        hi = c + 1;
    }
    Axis a;
    a.lo = lo;
    a.hi = hi;
    a.p0 = p0;
    a.p1 = p1;
    static const double kFactors[] = {5, 2, 1};
    double magnitude = std::pow(10.0, std::floor(std::log10(hi - lo)));
    for (int round = 0; round < 40; round++, magnitude /= 10) {
        bool done = false;
        for (double f : kFactors) {
            double step = f * magnitude;
            if (integerSteps && step < 1) {
                step = 1;   // the finest residue step
                done = true;
            }
            a.step = step;
            a.kLo = static_cast<long>(std::ceil(lo / step - 1e-9));
            a.kHi = static_cast<long>(std::floor(hi / step + 1e-9));
            if (done || a.kHi - a.kLo + 1 >= minTicks) {
                done = true;
                break;
            }
        }
        if (done) break;
    }
    // decimals of the step: 0.5 needs one, 0.02 two, 50 none
    for (double scaled = a.step; a.decimals < 12 && std::fabs(scaled - std::round(scaled)) > 1e-6 * scaled;
         scaled *= 10)
        a.decimals++;
    return a;
}

// The smallest and largest of some values, widened by a share of their span on either side.
struct Range {
    double lo = std::numeric_limits<double>::infinity(), hi = -std::numeric_limits<double>::infinity();
    void add(double v) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    bool empty() const { return lo > hi; }
    Axis axis(double pad, int minTicks, double p0, double p1) const {
        if (empty()) return ticksInside(-1, 1, minTicks, p0, p1);
        const double margin = (hi - lo) * pad;
        return ticksInside(lo - margin, hi + margin, minTicks, p0, p1);
    }
};

class SvgWriter {
public:
    SvgWriter(FILE* out, const CouplingPlot& plot) : out_(out), p_(plot) {}
    void write();

private:
    FILE* out_;
    const CouplingPlot& p_;

    void text(double x, double y, const std::string& s, const char* attributes = "") {
        std::fprintf(out_, "<text x=\"%.2f\" y=\"%.2f\"%s>%s</text>\n", x, y, attributes, escaped(s).c_str());
    }
    void line(double x1, double y1, double x2, double y2, const char* stroke, double width,
              const char* extra = "") {
        std::fprintf(out_,
                     "<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" stroke=\"%s\" stroke-width=\"%.2f\"%s/>\n",
                     x1, y1, x2, y2, stroke, width, extra);
    }
    void frame(double x, double y, double w, double h) {
        std::fprintf(out_,
                     "<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"none\" stroke=\"%s\" "
                     "stroke-width=\"1\"/>\n",
                     x, y, w, h, kInk);
    }
    void marker(const char* role, Set set, const std::string& cls, const char* colour, double x, double y,
                double scale);
    bool jkShown(const Point& pt) const {
        return p_.jackknife && pt.measured && pt.set == Set::Working && isValue(pt.jk);
    }
    int countOf(int code) const;

    void scatterPanel();
    void statisticsCorner();
    void legend();
    void sequencePanel(double rowHeight, double rowsBottom);
    void residueGrid(const Axis& ax, double top, double bottom);
};

// working: a filled circle; validation: an open square; neither set: a cross; the marker of the
// lower panel is three quarters the size.
void SvgWriter::marker(const char* role, Set set, const std::string& cls, const char* colour, double x, double y,
                       double scale) {
    const char* s = setName(set);
    if (set == Set::Working) {
        std::fprintf(out_,
                     "<circle class=\"%s %s %s\" cx=\"%.2f\" cy=\"%.2f\" r=\"%.2f\" fill=\"%s\" fill-opacity=\"0.85\" "
                     "stroke=\"#ffffff\" stroke-width=\"0.4\"/>\n",
                     role, s, cls.c_str(), x, y, 3.2 * scale, colour);
    } else if (set == Set::Validation) {
        const double h = 3 * scale;
        std::fprintf(out_,
                     "<rect class=\"%s %s %s\" x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"#ffffff\" "
                     "fill-opacity=\"0.6\" stroke=\"%s\" stroke-width=\"1.3\"/>\n",
                     role, s, cls.c_str(), x - h, y - h, 2 * h, 2 * h, colour);
    } else {
        const double h = 3 * scale;
        std::fprintf(out_,
                     "<path class=\"%s %s %s\" d=\"M%.2f %.2fL%.2f %.2fM%.2f %.2fL%.2f %.2f\" stroke=\"%s\" "
                     "stroke-width=\"1.3\" fill=\"none\"/>\n",
                     role, s, cls.c_str(), x - h, y - h, x + h, y + h, x - h, y + h, x + h, y - h, colour);
    }
}

int SvgWriter::countOf(int code) const {
    int n = 0;
    for (const Point& pt : p_.points) n += pt.dcClass == code;
    return n;
}

void SvgWriter::write() {
    const size_t rows = p_.classes.size();
    const double gaps = rows > 1 ? kRowGap * static_cast<double>(rows - 1) : 0;
    const double rowHeight = rows ? std::max(kMinRow, (kRowsSpace - gaps) / static_cast<double>(rows)) : 0;
    const double rowsBottom = rows ? kTop2 + rowHeight * static_cast<double>(rows) + gaps : kTop2 + kRowsSpace;

    int unmeasured = 0;
    for (const Point& pt : p_.points) unmeasured += !pt.measured;
    std::vector<std::string> notes;
    if (unmeasured > 0)
        notes.push_back(format("%d not measured (D_OBS above 900 Hz): D shown below only", unmeasured));
    if (p_.rowsWithoutCalc > 0)
        notes.push_back(format("%d table rows without a calculated D: not shown", p_.rowsWithoutCalc));
    // below the residue axis title (baseline rowsBottom + 35): the notes, one line each
    const double notesTop = rowsBottom + 54;
    const double height = std::max(kMinHeight, notes.empty() ? rowsBottom + 40
                                                             : notesTop + 14 * static_cast<double>(notes.size() - 1) + 6);

    std::fprintf(out_, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    std::fprintf(out_,
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"%.0f\" height=\"%.0f\" "
                 "viewBox=\"0 0 %.0f %.0f\" font-family=\"DejaVu Sans, Arial, Helvetica, sans-serif\" "
                 "font-size=\"%.0f\">\n",
                 kWidth, height, kWidth, height, kFontSmall);
    std::fprintf(out_, "<title>Orvex: observed against calculated dipolar couplings</title>\n");
    std::fprintf(out_, "<desc>Couplings: %s; structure: %s</desc>\n", escaped(p_.tableName).c_str(),
                 escaped(p_.structureName).c_str());
    std::fprintf(out_, "<rect x=\"0\" y=\"0\" width=\"%.0f\" height=\"%.0f\" fill=\"#ffffff\"/>\n", kWidth, height);

    scatterPanel();
    statisticsCorner();
    legend();
    sequencePanel(rowHeight, rowsBottom);
    for (size_t i = 0; i < notes.size(); i++)
        text(14, notesTop + 14 * static_cast<double>(i), notes[i], " class=\"note\"");
    std::fprintf(out_, "</svg>\n");
}

// Upper panel: D_OBS (x) against D (y) on the same scale, the diagonal, jackknife predictions faint
// under the markers.
void SvgWriter::scatterPanel() {
    const double bottom = kTop1 + kSize1, right = kLeft + kSize1;
    Range range;
    for (const Point& pt : p_.points) {
        if (!pt.measured) continue;
        range.add(pt.obs);
        range.add(pt.calc);
        if (jkShown(pt)) range.add(pt.jk);
    }
    const Axis ax = range.axis(0.04, 5, kLeft, right);
    Axis ay = ax;
    ay.p0 = bottom;
    ay.p1 = kTop1;

    text(14, 24, "Observed against calculated", format(" font-size=\"%.0f\" font-weight=\"bold\"", kFontTitle).c_str());
    std::fprintf(out_, "<g class=\"axes\">\n");
    for (long k = ax.kLo; k <= ax.kHi; k++) {
        const double x = ax.at(ax.tick(k)), y = ay.at(ay.tick(k));
        line(x, kTop1, x, bottom, kGrid, 0.8);
        line(kLeft, y, right, y, kGrid, 0.8);
        line(x, bottom, x, bottom + 4, kInk, 1);
        line(kLeft - 4, y, kLeft, y, kInk, 1);
        text(x, bottom + 16, ax.label(k), " class=\"tick-obs\" text-anchor=\"middle\"");
        text(kLeft - 6, y + 4, ay.label(k), " class=\"tick-calc\" text-anchor=\"end\"");
    }
    frame(kLeft, kTop1, kSize1, kSize1);
    text(kLeft + kSize1 / 2, bottom + 35, "D_OBS, observed (Hz)",
         format(" text-anchor=\"middle\" font-size=\"%.0f\"", kFontLabel).c_str());
    text(0, 0, "D, calculated (Hz)",
         format(" text-anchor=\"middle\" font-size=\"%.0f\" transform=\"translate(18 %.2f) rotate(-90)\"",
                kFontLabel, kTop1 + kSize1 / 2)
             .c_str());
    std::fprintf(out_, "</g>\n");
    line(kLeft, bottom, right, kTop1, "#555555", 1, " class=\"diagonal\" stroke-dasharray=\"5 3\"");

    if (range.empty()) {
        text(kLeft + kSize1 / 2, kTop1 + kSize1 / 2, "no measured couplings",
             " text-anchor=\"middle\" class=\"empty\"");
        return;
    }
    for (const Point& pt : p_.points)
        if (jkShown(pt))
            std::fprintf(out_,
                         "<circle class=\"jk %s\" cx=\"%.2f\" cy=\"%.2f\" r=\"2.6\" fill=\"%s\" "
                         "fill-opacity=\"0.25\"/>\n",
                         CouplingPlot::className(pt.dcClass).c_str(), ax.at(pt.obs), ay.at(pt.jk),
                         classColour(pt.dcClass));
    // working set first, the sets outside the fit on top of it
    for (Set set : {Set::Working, Set::Validation, Set::Neither})
        for (const Point& pt : p_.points)
            if (pt.measured && pt.set == set)
                marker("dc", set, CouplingPlot::className(pt.dcClass), classColour(pt.dcClass), ax.at(pt.obs),
                       ay.at(pt.calc), 1);
}

// The figures of the statistics block, in its formats, in the top left corner of the upper panel.
void SvgWriter::statisticsCorner() {
    struct Column {
        const char* header;
        const char* id;
        const CouplingPlot::Figures* f;
    };
    std::vector<Column> columns;
    if (p_.working.shown) columns.push_back({"working", "work", &p_.working});
    if (p_.validation.shown) columns.push_back({"validation", "valid", &p_.validation});
    if (columns.empty()) return;
    bool anyQ = false;
    for (const Column& c : columns) anyQ = anyQ || c.f->showsQ;

    // narrow enough to stay clear of the diagonal: the box ends left of where the diagonal
    // reaches its bottom edge
    const double labelWidth = 34, columnWidth = 62, lineStep = 13.5;
    const double x0 = kLeft + 5, y0 = kTop1 + 5;
    const int lines = 5 + (anyQ ? 1 : 0);
    const double width = labelWidth + columnWidth * static_cast<double>(columns.size()) + 4;
    std::fprintf(out_, "<g class=\"statistics\">\n");
    std::fprintf(out_,
                 "<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"#ffffff\" fill-opacity=\"0.88\" "
                 "stroke=\"#999999\" stroke-width=\"0.6\"/>\n",
                 x0, y0, width, lineStep * lines + 6);
    double y = y0 + 13;
    auto row = [&](const char* label, const char* key, auto value, bool onlyWithQ) {
        text(x0 + 4, y, label);
        for (size_t i = 0; i < columns.size(); i++) {
            if (onlyWithQ && !columns[i].f->showsQ) continue;
            const double right = x0 + labelWidth + columnWidth * static_cast<double>(i + 1) - 4;
            const std::string attributes =
                format(" id=\"stat-%s-%s\" text-anchor=\"end\"", columns[i].id, key);
            text(right, y, value(*columns[i].f), attributes.c_str());
        }
        y += lineStep;
    };
    for (size_t i = 0; i < columns.size(); i++)
        text(x0 + labelWidth + columnWidth * static_cast<double>(i + 1) - 4, y, columns[i].header,
             " text-anchor=\"end\" font-style=\"italic\"");
    y += lineStep;
    using F = CouplingPlot::Figures;
    row("N", "N", [](const F& f) { return format("%d", f.n); }, false);
    row("RMS", "RMS", [](const F& f) { return format("%.3f", f.rms); }, false);
    if (anyQ) row("Q", "Q", [](const F& f) { return format("%.4f", f.q); }, true);
    row("Q_X", "QX", [](const F& f) { return format("%.5f", f.qx); }, false);
    row("R", "R", [](const F& f) { return format("%.3f", f.r); }, false);
    std::fprintf(out_, "</g>\n");
}

// Right of the upper panel: the classes with their counts, then the markers in use.
void SvgWriter::legend() {
    std::fprintf(out_, "<g class=\"legend\">\n");
    double y = kTop1 + 10;
    const char* heading = " font-weight=\"bold\"";
    text(kLegendX, y, "Coupling class", heading);
    y += kLegendStep + 2;
    for (int code : p_.classes) {
        std::fprintf(out_, "<circle cx=\"%.2f\" cy=\"%.2f\" r=\"4.5\" fill=\"%s\"/>\n", kLegendX + 5, y - 4,
                     classColour(code));
        text(kLegendX + 15, y, format("%s (%d)", CouplingPlot::className(code).c_str(), countOf(code)),
             " class=\"legend-entry\"");
        y += kLegendStep;
    }
    y += 8;
    text(kLegendX, y, "Marker", heading);
    y += kLegendStep + 2;
    bool present[3] = {false, false, false};
    bool anyJk = false;
    for (const Point& pt : p_.points) {
        if (pt.measured) present[static_cast<int>(pt.set)] = true;
        anyJk = anyJk || jkShown(pt);
    }
    const char* labels[3] = {"working set", "validation set",
                             p_.markLeftOut ? "outside the subset" : "outside both sets"};
    for (Set set : {Set::Working, Set::Validation, Set::Neither}) {
        if (!present[static_cast<int>(set)]) continue;
        marker("key", set, "legend", "#555555", kLegendX + 5, y - 4, 1.2);
        text(kLegendX + 15, y, labels[static_cast<int>(set)], " class=\"legend-entry\"");
        y += kLegendStep;
    }
    if (anyJk) {
        std::fprintf(out_, "<circle cx=\"%.2f\" cy=\"%.2f\" r=\"3.2\" fill=\"#555555\" fill-opacity=\"0.3\"/>\n",
                     kLegendX + 5, y - 4);
        text(kLegendX + 15, y, "D_JK (jackknife)", " class=\"legend-entry\"");
        y += kLegendStep;
    }
    line(kLegendX, y - 4, kLegendX + 10, y - 4, "#555555", 1, " stroke-dasharray=\"5 3\"");
    text(kLegendX + 15, y, "D = D_OBS", " class=\"legend-entry\"");
    std::fprintf(out_, "</g>\n");
}

// Vertical grid lines of a row at the residue ticks.
void SvgWriter::residueGrid(const Axis& ax, double top, double bottom) {
    for (long k = ax.kLo; k <= ax.kHi; k++) line(ax.at(ax.tick(k)), top, ax.at(ax.tick(k)), bottom, kGrid, 0.8);
}

// Lower panel: per class, D_OBS (markers) and D (dark line and dots) against the residue number;
// residues left out by the maximal-subset search shaded across all rows.
void SvgWriter::sequencePanel(double rowHeight, double rowsBottom) {
    text(14, kTitle2Y, "Along the sequence", format(" font-size=\"%.0f\" font-weight=\"bold\"", kFontTitle).c_str());
    std::fprintf(out_, "<g class=\"legend2\">\n");
    std::fprintf(out_, "<circle cx=\"206\" cy=\"%.2f\" r=\"3.2\" fill=\"#555555\"/>\n", kTitle2Y - 4);
    text(214, kTitle2Y, "D_OBS", " class=\"legend2-entry\"");
    line(262, kTitle2Y - 4, 282, kTitle2Y - 4, kInk, 1);
    std::fprintf(out_, "<circle cx=\"272\" cy=\"%.2f\" r=\"1.6\" fill=\"%s\"/>\n", kTitle2Y - 4, kInk);
    text(288, kTitle2Y, "D, calculated", " class=\"legend2-entry\"");
    if (p_.markLeftOut) {
        std::fprintf(out_, "<rect x=\"372\" y=\"%.2f\" width=\"8\" height=\"11\" fill=\"#f2a7a7\"/>\n",
                     kTitle2Y - 10);
        text(385, kTitle2Y, "left out", " class=\"legend2-entry\"");
    }
    std::fprintf(out_, "</g>\n");
    if (p_.classes.empty()) {
        text((kLeft + kRight2) / 2, kTop2 + kRowsSpace / 2, "no couplings to plot",
             " text-anchor=\"middle\" class=\"empty\"");
        return;
    }

    const Axis ax = ticksInside(p_.firstResidue - 1, p_.lastResidue + 1, 6, kLeft, kRight2, true);
    const double halfResidue = (ax.at(1) - ax.at(0)) / 2;
    for (int r : p_.leftOut)
        std::fprintf(out_,
                     "<rect class=\"leftout\" x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"#f2a7a7\" "
                     "fill-opacity=\"0.7\"/>\n",
                     ax.at(r) - halfResidue, kTop2, 2 * halfResidue, rowsBottom - kTop2);

    double top = kTop2;
    for (int code : p_.classes) {
        const double bottom = top + rowHeight;
        const std::string cls = CouplingPlot::className(code);
        Range range;
        range.add(0);
        for (const Point& pt : p_.points) {
            if (pt.dcClass != code) continue;
            range.add(pt.calc);
            if (pt.measured) range.add(pt.obs);
        }
        const Axis ay = range.axis(0.08, std::max(2, static_cast<int>(rowHeight / 40)), bottom, top);
        std::fprintf(out_, "<g class=\"row %s\">\n", cls.c_str());
        residueGrid(ax, top, bottom);
        double lastLabel = 1e9;
        for (long k = ay.kLo; k <= ay.kHi; k++) {
            const double y = ay.at(ay.tick(k));
            line(kLeft - 4, y, kLeft, y, kInk, 1);
            if (k == 0) line(kLeft, y, kRight2, y, "#bbbbbb", 0.8);
            if (lastLabel - y < 13) continue;   // keep tick labels apart in a short row
            text(kLeft - 6, y + 4, ay.label(k), " class=\"tick-row\" text-anchor=\"end\"");
            lastLabel = y;
        }
        frame(kLeft, top, kRight2 - kLeft, rowHeight);
        text(0, 0, cls,
             format(" text-anchor=\"middle\" font-weight=\"bold\" fill=\"%s\" transform=\"translate(20 %.2f) "
                    "rotate(-90)\"",
                    classColour(code), (top + bottom) / 2)
                 .c_str());

        std::vector<const Point*> mine;
        for (const Point& pt : p_.points)
            if (pt.dcClass == code) mine.push_back(&pt);
        std::stable_sort(mine.begin(), mine.end(),
                         [](const Point* a, const Point* b) { return a->residue < b->residue; });
        std::string path;
        for (size_t i = 0; i < mine.size(); i++) {
            const bool joined = i > 0 && mine[i]->residue - mine[i - 1]->residue <= 1;
            path += format("%s%.2f %.2f", joined ? "L" : "M", ax.at(mine[i]->residue), ay.at(mine[i]->calc));
        }
        std::fprintf(out_, "<path class=\"calcline\" d=\"%s\" fill=\"none\" stroke=\"%s\" stroke-width=\"0.9\"/>\n",
                     path.c_str(), kInk);
        for (const Point* pt : mine)
            std::fprintf(out_, "<circle class=\"calc %s\" cx=\"%.2f\" cy=\"%.2f\" r=\"1.4\" fill=\"%s\"/>\n",
                         cls.c_str(), ax.at(pt->residue), ay.at(pt->calc), kInk);
        for (const Point* pt : mine)
            if (pt->measured)
                marker("seq", pt->set, cls, classColour(code), ax.at(pt->residue), ay.at(pt->obs), 0.75);
        std::fprintf(out_, "</g>\n");
        top = bottom + kRowGap;
    }

    for (long k = ax.kLo; k <= ax.kHi; k++) {
        const double x = ax.at(ax.tick(k));
        line(x, rowsBottom, x, rowsBottom + 4, kInk, 1);
        text(x, rowsBottom + 16, ax.label(k), " class=\"tick-residue\" text-anchor=\"middle\"");
    }
    text((kLeft + kRight2) / 2, rowsBottom + 35, "Residue number",
         format(" text-anchor=\"middle\" font-size=\"%.0f\"", kFontLabel).c_str());
}

}  // namespace

std::string CouplingPlot::className(int code) {
    if (code >= 0 && code < 12) return DCTypeList[code];
    // the HB-CB class has a code but no name in the class table
    if (code == 12) return "HB_CB";
    return format("CLASS_%d", code);
}

void CouplingPlot::compute(DCListData& list, const std::vector<DTensor>& tensors, int level, int nSVD,
                           bool maxSubset) {
    *this = CouplingPlot();
    tableName = list.inDCFileName;
    structureName = list.inPDBFileName;
    markLeftOut = maxSubset;
    if (tensors.empty()) return;   // no result table either
    const DTensor& t = tensors[0];

    // the statistics block as the table writes it (the maximal-subset table always with the
    // Da-normalised Q)
    list.getStatAll(t);
    const bool noDaNorm = !maxSubset && DCListData::multiTensorLayout(t);
    working.shown = !list.GeneratedFromStructure;
    working.showsQ = !(noDaNorm && t.tensorMode != orvex::kTensorModeShape);
    working.n = nSVD;
    working.rms = list.rms;
    working.q = list.qfactor_norm;
    working.qx = list.qfactor;
    working.r = list.corr_r;
    validation.shown = !list.Same_Selection_Working_Validation;
    validation.showsQ = !noDaNorm;
    validation.n = list.nD_v;
    validation.rms = list.rms_v;
    validation.q = list.qfactor_norm_v;
    validation.qx = list.qfactor_v;
    validation.r = list.corr_r_v;
    jackknife = maxSubset || (t.fitFlag_JK != 0 && level != 0);

    std::set<int> codes, left;
    for (const DipolarCouplingData& dc : list.dcList) {
        if (dc.valid == 0 && t.tensorMode != orvex::kTensorModeDipolarWave) continue;   // no row in the table
        const int residue = std::max(dc.resIDI, dc.resIDJ);
        // MAXSUB 0 on a coupling the search counted
        if (maxSubset && DCListData::isMaxSubsetUsable(dc) && dc.selected == 0) left.insert(residue);
        if (!isValue(dc.dCalc)) {
            rowsWithoutCalc++;
            continue;
        }
        Point pt;
        pt.dcClass = dc.CLASS;
        pt.residue = residue;
        pt.obs = dc.d;
        pt.measured = isValue(dc.d);
        pt.calc = dc.dCalc;
        pt.jk = dc.dCalc_jk;
        // A weight of 0 keeps a coupling out of every statistic. With one selection for both sets
        // there is no separate validation set: a coupling the route took out of the fit (the
        // maximal-subset search) is in neither.
        const bool counted = dc.w > 0;
        const bool validationOnly = counted && dc.selected_v && !list.Same_Selection_Working_Validation;
        pt.set = counted && dc.selected ? Set::Working : validationOnly ? Set::Validation : Set::Neither;
        points.push_back(pt);
        codes.insert(dc.CLASS);
    }
    classes.assign(codes.begin(), codes.end());
    leftOut.assign(left.begin(), left.end());

    // the residue axis spans the structure (when one was read) and every plotted residue
    std::set<int> residues(left);
    for (const Point& pt : points) residues.insert(pt.residue);
    if (list.pdbRN >= list.pdbR1 && list.pdbRN != 0) {
        residues.insert(list.pdbR1);
        residues.insert(list.pdbRN);
    }
    if (!residues.empty()) {
        firstResidue = *residues.begin();
        lastResidue = *residues.rbegin();
    }
}

void CouplingPlot::write(FILE* out) const { SvgWriter(out, *this).write(); }
