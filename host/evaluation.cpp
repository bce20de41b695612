#include "evaluation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace quelta_host {

namespace {

std::string Percent(int part, int whole) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f%%", whole > 0 ? 100.0 * part / whole : 0.0);
  return buf;
}

std::string OfWhole(int part, int whole) {
  return std::to_string(part) + " of " + std::to_string(whole) + " (" + Percent(part, whole) + ")";
}

std::string Pad(const std::string& s, std::size_t width) {
  return s.size() >= width ? s + " " : s + std::string(width - s.size(), ' ');
}

std::string Html(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// Plot frame: 0..100 on x, 0..yMax on y, inside a width x height picture.
struct Frame {
  double width = 680, height = 300, left = 56, right = 16, top = 16, bottom = 44;
  double yMax = 1;
  double X(double v) const { return left + (width - left - right) * v / 100.0; }
  double Y(double v) const { return height - bottom - (height - top - bottom) * v / yMax; }
};

std::string Num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", v);
  return buf;
}

// A "nice" upper bound for an axis (1, 2, 5 times a power of ten).
double NiceMax(double v) {
  if (v <= 0) return 1;
  const double p = std::pow(10.0, std::floor(std::log10(v)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (v <= m * p) return m * p;
  return 10 * p;
}

std::string Axes(const Frame& f, const std::string& xLabel, const std::string& yLabel) {
  std::ostringstream s;
  s << "<line x1='" << Num(f.X(0)) << "' y1='" << Num(f.Y(0)) << "' x2='" << Num(f.X(100))
    << "' y2='" << Num(f.Y(0)) << "' stroke='#333'/>\n";
  s << "<line x1='" << Num(f.X(0)) << "' y1='" << Num(f.Y(0)) << "' x2='" << Num(f.X(0))
    << "' y2='" << Num(f.Y(f.yMax)) << "' stroke='#333'/>\n";
  for (int x = 0; x <= 100; x += 10)
    s << "<text x='" << Num(f.X(x)) << "' y='" << Num(f.Y(0) + 16)
      << "' text-anchor='middle'>" << x << "</text>\n";
  for (int i = 0; i <= 5; ++i) {
    const double v = f.yMax * i / 5;
    s << "<line x1='" << Num(f.X(0)) << "' y1='" << Num(f.Y(v)) << "' x2='" << Num(f.X(100))
      << "' y2='" << Num(f.Y(v)) << "' stroke='#ddd'/>\n"
      << "<text x='" << Num(f.X(0) - 6) << "' y='" << Num(f.Y(v) + 4) << "' text-anchor='end'>"
      << (f.yMax >= 5 ? std::to_string(static_cast<long>(std::lround(v))) : Num(v)) << "</text>\n";
  }
  s << "<text x='" << Num(f.X(50)) << "' y='" << Num(f.height - 6) << "' text-anchor='middle'>"
    << xLabel << "</text>\n";
  s << "<text x='14' y='" << Num(f.Y(f.yMax / 2)) << "' text-anchor='middle' transform='rotate(-90 14 "
    << Num(f.Y(f.yMax / 2)) << ")'>" << yLabel << "</text>\n";
  return s.str();
}

std::string Marker(const Frame& f, int x, const std::string& color, const std::string& label) {
  std::ostringstream s;
  s << "<line x1='" << Num(f.X(x)) << "' y1='" << Num(f.Y(0)) << "' x2='" << Num(f.X(x))
    << "' y2='" << Num(f.Y(f.yMax)) << "' stroke='" << color << "' stroke-dasharray='5,4'/>\n"
    << "<text x='" << Num(f.X(x) + 4) << "' y='" << Num(f.Y(f.yMax) + 12) << "' fill='" << color
    << "'>" << label << "</text>\n";
  return s.str();
}

// Bins of five scores (0-4 ... 95-99) and one for 100.
std::string Histogram(const std::vector<EvalItem>& scored, int threshold) {
  int spam[21] = {}, ham[21] = {};
  int most = 0;
  for (const auto& e : scored) {
    const int bin = std::clamp(e.score, 0, 100) / 5;
    most = std::max(most, ++(e.spam ? spam : ham)[bin]);
  }
  Frame f;
  f.yMax = NiceMax(most);
  std::ostringstream s;
  s << "<svg xmlns='http://www.w3.org/2000/svg' width='" << f.width << "' height='" << f.height
    << "' font-family='sans-serif' font-size='11' role='img' aria-label='score histogram'>\n"
    << Axes(f, "score", "messages");
  const double binWidth = f.X(5) - f.X(0);
  for (int b = 0; b < 21; ++b) {
    const double x0 = f.X(b * 5.0) + 1;
    const double w = (b == 20 ? binWidth / 5 : binWidth) / 2 - 1;
    for (int k = 0; k < 2; ++k) {
      const int n = k == 0 ? ham[b] : spam[b];
      if (n == 0) continue;
      s << "<rect class='" << (k == 0 ? "ham" : "spam") << "' x='" << Num(x0 + k * (w + 0.5))
        << "' y='" << Num(f.Y(n)) << "' width='" << Num(std::max(w, 1.0)) << "' height='"
        << Num(f.Y(0) - f.Y(n)) << "' fill='" << (k == 0 ? "#3a7bd5" : "#d9534f") << "'><title>"
        << (k == 0 ? "ham " : "spam ") << b * 5 << (b == 20 ? "" : "-" + std::to_string(b * 5 + 4))
        << ": " << n << "</title></rect>\n";
    }
  }
  s << Marker(f, threshold, "#555", "threshold " + std::to_string(threshold)) << "</svg>\n";
  return s.str();
}

std::string ErrorCurves(const std::vector<EvalItem>& scored, int threshold, int noFp) {
  const EvalCounts all = CountAt(scored, 100);
  Frame f;
  f.yMax = 100;
  std::ostringstream s;
  s << "<svg xmlns='http://www.w3.org/2000/svg' width='" << f.width << "' height='" << f.height
    << "' font-family='sans-serif' font-size='11' role='img' aria-label='errors by threshold'>\n"
    << Axes(f, "threshold (spam when the score is above it)", "% of the class");
  std::string fp, fn;
  for (int t = 0; t <= 100; ++t) {
    const EvalCounts c = CountAt(scored, t);
    const double yp = all.ham ? 100.0 * c.falsePositives / all.ham : 0;
    const double yn = all.spam ? 100.0 * c.falseNegatives / all.spam : 0;
    // Steps: the counts change only at whole thresholds.
    fp += t ? " H" + Num(f.X(t)) + " V" + Num(f.Y(yp)) : "M" + Num(f.X(t)) + " " + Num(f.Y(yp));
    fn += t ? " H" + Num(f.X(t)) + " V" + Num(f.Y(yn)) : "M" + Num(f.X(t)) + " " + Num(f.Y(yn));
  }
  s << "<path class='fp' d='" << fp << "' fill='none' stroke='#3a7bd5' stroke-width='2'/>\n"
    << "<path class='fn' d='" << fn << "' fill='none' stroke='#d9534f' stroke-width='2'/>\n"
    << Marker(f, threshold, "#555", "in use " + std::to_string(threshold))
    << Marker(f, noFp, "#2a8a2a", "no false positive " + std::to_string(noFp))
    << "<text x='" << Num(f.X(70)) << "' y='" << Num(f.Y(55)) << "' fill='#3a7bd5'>"
    << "false positives (ham as spam)</text>\n"
    << "<text x='" << Num(f.X(70)) << "' y='" << Num(f.Y(45)) << "' fill='#d9534f'>"
    << "false negatives (spam missed)</text>\n</svg>\n";
  return s.str();
}

}  // namespace

EvalCounts CountAt(const std::vector<EvalItem>& scored, int threshold) {
  EvalCounts c;
  for (const auto& e : scored) {
    const bool flagged = e.score > threshold;
    if (e.spam) {
      ++c.spam;
      if (!flagged) ++c.falseNegatives;
    } else {
      ++c.ham;
      if (flagged) ++c.falsePositives;
    }
  }
  return c;
}

int NoFalsePositiveThreshold(const std::vector<EvalItem>& scored) {
  int t = 0;
  for (const auto& e : scored)
    if (!e.spam) t = std::max(t, std::min(e.score, 100));
  return t;
}

bool TrainsAt(std::size_t i, double fraction) {
  return std::floor((static_cast<double>(i) + 1) * fraction) >
         std::floor(static_cast<double>(i) * fraction);
}

std::string EvaluationTable(const EvalInput& in) {
  const EvalCounts now = CountAt(in.scored, in.threshold);
  const int noFp = NoFalsePositiveThreshold(in.scored);
  const EvalCounts best = CountAt(in.scored, noFp);
  char fraction[16];
  std::snprintf(fraction, sizeof fraction, "%.2f", in.trainFraction);
  std::ostringstream s;
  s << "Trained on " << in.trainedSpam << " spam and " << in.trainedHam << " ham (fraction "
    << fraction << "); scored " << now.spam << " spam and " << now.ham << " ham.\n\n";
  s << Pad("threshold", 26) << Pad("false positives", 22) << Pad("false negatives", 22)
    << "spam caught\n";
  auto row = [&](const std::string& label, const EvalCounts& c) {
    s << Pad(label, 26) << Pad(OfWhole(c.falsePositives, c.ham), 22)
      << Pad(OfWhole(c.falseNegatives, c.spam), 22) << OfWhole(c.spam - c.falseNegatives, c.spam)
      << "\n";
  };
  row(std::to_string(in.threshold) + " (in use)", now);
  row(std::to_string(noFp) + " (no false positive)", best);
  return s.str();
}

std::string EvaluationHtml(const EvalInput& in) {
  const int noFp = NoFalsePositiveThreshold(in.scored);
  std::ostringstream s;
  s << "<!DOCTYPE html>\n<html lang='en'><head><meta charset='utf-8'>\n"
    << "<title>Quelta evaluation</title>\n<style>body{font-family:sans-serif;max-width:760px;"
       "margin:2em auto;color:#222}table{border-collapse:collapse}td,th{padding:2px 10px;"
       "border-bottom:1px solid #ddd;text-align:left}pre{background:#f6f6f2;padding:1em}"
       "</style></head><body>\n<h1>Quelta evaluation</h1>\n"
    << "<pre>" << Html(EvaluationTable(in)) << "</pre>\n"
    << "<h2>Scores of the held-out messages</h2>\n"
    << "<p><span style='color:#d9534f'>&#9632; spam</span> &nbsp; "
       "<span style='color:#3a7bd5'>&#9632; ham</span></p>\n"
    << Histogram(in.scored, in.threshold)
    << "<h2>Errors against the threshold</h2>\n"
    << ErrorCurves(in.scored, in.threshold, noFp);
  auto list = [&](const char* title, bool spam) {
    s << "<h2>" << title << "</h2>\n<table><tr><th>score</th><th>message</th></tr>\n";
    int n = 0;
    for (const auto& e : in.scored)
      if (e.spam == spam && (e.score > in.threshold) != spam) {
        s << "<tr><td>" << e.score << "</td><td>" << Html(e.name) << "</td></tr>\n";
        ++n;
      }
    if (n == 0) s << "<tr><td colspan='2'>none</td></tr>\n";
    s << "</table>\n";
  };
  list(("False positives at " + std::to_string(in.threshold)).c_str(), false);
  list(("False negatives at " + std::to_string(in.threshold)).c_str(), true);
  s << "</body></html>\n";
  return s.str();
}

}  // namespace quelta_host
