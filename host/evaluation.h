// Evaluation: how well a profile separates a labelled corpus. From the
// scores of held-out spam and ham it counts false positives (ham above the
// threshold) and false negatives (spam at or below it) for every threshold
// 0..100, finds the lowest threshold without false positives, and writes
// the summary table and a self-contained HTML report whose plots are
// inline SVG drawn here (score histograms; errors against the threshold).
// Pure functions; any thread.
#pragma once

#include <string>
#include <vector>

namespace quelta_host {

struct EvalItem {
  std::string name;  // as printed (escaped)
  int score = 0;
  bool spam = false;  // the label
};

struct EvalInput {
  std::vector<EvalItem> scored;
  int threshold = 99;  // spam when score > threshold
  int trainedSpam = 0;
  int trainedHam = 0;
  double trainFraction = 0.5;
};

struct EvalCounts {
  int spam = 0, ham = 0;
  int falsePositives = 0;  // ham scored above the threshold
  int falseNegatives = 0;  // spam scored at or below it
};

EvalCounts CountAt(const std::vector<EvalItem>& scored, int threshold);

// The lowest threshold 0..100 with no false positive: the highest ham score.
int NoFalsePositiveThreshold(const std::vector<EvalItem>& scored);

// Which messages train: of n, message i trains when
// floor((i+1)*fraction) > floor(i*fraction), which spreads the training
// part evenly over the (sorted) input.
bool TrainsAt(std::size_t i, double fraction);

// The plain-text summary printed on standard output.
std::string EvaluationTable(const EvalInput& in);

// The HTML report.
std::string EvaluationHtml(const EvalInput& in);

}  // namespace quelta_host
