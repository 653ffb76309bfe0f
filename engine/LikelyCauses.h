// Likely causes: what held before the trigger in the captures of a series
// and seldom otherwise. Each capture's records T-W to T-1 (its fault window)
// are held, place by place, against the same places before the baseline's
// anchors: written records that resemble a fired record (the same length
// and command byte) without meeting the stop condition, outside every
// fault window. A candidate (a field equal to a value seen, above or below
// a value seen, a byte's bit set or clear, at one place T-k) is weighed by
// how unlikely it is to hold in that many captures if the captures were no
// different from the anchors (the one-sided binomial tail of the captures'
// count at the anchors' share). It stands out when that chance is below
// what the strongest candidate of each of 99 draws of anchors taken as
// captures reaches (for up to 50 captures), or below kCauseSignificance
// divided by the number tested (Bonferroni, for more), so that thousands of
// candidates name none by chance. Those that stand out are ranked by the
// harmonic mean of the captures' share and its increase over the anchors'
// share, which puts first what holds in every capture and seldom
// otherwise. Each candidate is a condition of the condition language; the
// strongest few are also tried two at a time (both holding), and a pair is
// named when it is far stronger than either half.
#pragma once

#include "Fields.h"
#include "LogAnalysis.h"
#include "Series.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

namespace quillon {

// The fault window's length before the fired record, unless asked.
inline constexpr int kDefaultCauseWindow = 16;
// Fewer anchors than this make a weak baseline: said, with a suggestion.
inline constexpr int kFewestAnchors = 100;
// The most causes named.
inline constexpr std::size_t kMostCauses = 10;
// A candidate is a cause when the chance that it holds so often by chance,
// corrected for the number tested, is below this.
inline constexpr double kCauseSignificance = 0.01;

struct LikelyCause {
    std::string condition;  // "position >= 42.68 @T-3"
    int captures = 0;       // the captures where it holds
    int of = 0;             // the captures with a fired record
    double baseline_share = 0;
    // The harmonic mean of the captures' share and its increase over the
    // baseline's (0 to 1): the ranking's.
    double score = 0;
    // The weaker candidates of the same field or byte, strongest first.
    std::vector<std::string> folded;
};

struct CauseFinding {
    std::vector<LikelyCause> causes;  // strongest first; empty when none stands out
    // The strongest candidate when none stands out (its score), else unset.
    std::optional<LikelyCause> best;
    int anchors = 0;
    std::size_t candidates = 0;  // tested
};

struct CauseSearch {
    int window = kDefaultCauseWindow;
    // The rules of the series' comparison: bits not compared, and fields
    // marked "compare": false, are no candidates.
    ComparisonRules rules;
    // Logs whose anchors make the baseline instead of the captures' (read
    // as a series, kept by the caller while the search runs).
    const Series* baseline = nullptr;
    // Set by another thread to end the search early; what it then returns
    // is no answer.
    const std::atomic<bool>* cancelled = nullptr;
};

// A cause's numbers as the front-ends write them: its baseline share
// ("12%", "0.4%") and its score ("0.84").
std::string cause_share_text(double share);
std::string cause_score_text(double score);

// The likely causes of the series' captures (those with a fired record),
// on the fields given.
CauseFinding likely_causes(const Series& series, std::span<const FieldSpec> fields,
                           const CauseSearch& search);

}  // namespace quillon
