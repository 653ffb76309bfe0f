#include "LikelyCauses.h"

#include "Conditions.h"
#include "HexText.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <utility>

namespace quillon {

namespace {

// A record whose window the candidates are read before: a capture's fired
// record, or an anchor.
struct Sample {
    const LogFile* log = nullptr;
    const LogTimeline* timeline = nullptr;
    int record = 0;
};

// The fired record's and its capture's, for the anchors that resemble it.
struct Command {
    std::uint8_t length = 0;
    std::uint8_t command = 0;
    bool operator<(const Command& other) const
    {
        return std::pair(length, command) < std::pair(other.length, other.command);
    }
};

Command command_of(const LogRecord& record)
{
    return {record[record_byte_index(Direction::Recv, 0)],
            record[record_byte_index(Direction::Recv, 2)]};
}

std::optional<RecordCondition> stop_condition_of(const LogFile& log)
{
    if (!log.stop_condition) {
        return std::nullopt;
    }
    const FileStopCondition& stop = *log.stop_condition;
    return RecordCondition{stop.direction, stop.byte, stop.mask, stop.value};
}

// The anchors of a log: written records of a fired record's command that do
// not meet its stop condition (or the captures', for a log without one),
// with a whole window before them and none of it, nor themselves, within
// `before` (a capture's fault window onwards).
void add_anchors(const SeriesCapture& capture, int before, int window,
                 const std::set<Command>& commands, const std::optional<RecordCondition>& stop,
                 std::vector<Sample>& anchors)
{
    const LogFile& log = capture.log;
    const auto own = stop_condition_of(log);
    const auto& condition = own ? own : stop;
    for (int record = window; record < before; ++record) {
        const LogRecord& bytes = log.records[std::size_t(record)];
        if (commands.contains(command_of(bytes)) && !(condition && meets(bytes, *condition))) {
            anchors.push_back({&log, &capture.timeline, record});
        }
    }
}

// A column's values in record order within each log tell a counter (a
// sequence number, a time stamp): it never goes down but to wrap, and goes
// up often. Its values before a trigger tell when, not why.
bool is_counter(const std::vector<std::vector<std::int64_t>>& runs)
{
    std::int64_t low = std::numeric_limits<std::int64_t>::max();
    std::int64_t high = std::numeric_limits<std::int64_t>::min();
    for (const auto& run : runs) {
        for (const std::int64_t value : run) {
            low = std::min(low, value);
            high = std::max(high, value);
        }
    }
    std::size_t steps = 0;
    std::size_t up = 0;
    std::size_t down = 0;
    for (const auto& run : runs) {
        for (std::size_t i = 1; i < run.size(); ++i) {
            const std::int64_t step = run[i] - run[i - 1];
            ++steps;
            // A fall across most of the range is a wrap, one step up.
            const bool wrap = step < 0 && -step > (high - low) / 2;
            up += step > 0 || wrap ? 1 : 0;
            down += step < 0 && !wrap ? 1 : 0;
        }
    }
    // A counter counts through many values: a two-valued flag that turns
    // on and off is no wrap.
    std::set<std::int64_t> values;
    for (const auto& run : runs) {
        values.insert(run.begin(), run.end());
    }
    constexpr std::size_t kFewestCounted = 4;
    constexpr double kMostDown = 0.05;
    constexpr double kLeastUp = 0.1;
    return steps > 0 && values.size() >= kFewestCounted &&
           double(down) <= kMostDown * double(steps) && double(up) >= kLeastUp * double(steps);
}

// log10 of P(X >= k) for X ~ Binomial(n, p), k above n p: the terms from k
// on fall, and are summed until they no longer count.
double log10_binomial_tail(int k, int n, double p)
{
    if (k <= 0) {
        return 0;
    }
    const auto log_term = [&](int j) {
        return std::lgamma(n + 1.0) - std::lgamma(j + 1.0) - std::lgamma(n - j + 1.0) +
               j * std::log(p) + (n - j) * std::log1p(-p);
    };
    const double first = log_term(k);
    double sum = 0;
    for (int j = k; j <= n; ++j) {
        const double relative = std::exp(log_term(j) - first);
        sum += relative;
        constexpr double kNoLongerCounts = 1e-12;
        if (relative < kNoLongerCounts * sum) {
            break;
        }
    }
    return std::min(0.0, (first + std::log(sum)) / std::log(10.0));
}

// A candidate as counted: the column it reads (for folding), how many
// captures and anchors meet it, its condition.
struct Candidate {
    int column = 0;
    int captures = 0;
    int anchors = 0;
    std::string condition;
    double log10_chance = 0;  // before the correction
    double increase = 0;      // the captures' share less the anchors'
    double importance = 0;    // the harmonic mean of increase and the captures' share
};

// How much more often a candidate holds before a trigger than before an
// anchor, and its importance: the harmonic mean of that increase and the
// captures' share, so that one holding in every capture and seldom
// otherwise ranks first, one holding in few captures or as often before
// the anchors last.
void weigh(Candidate& candidate, int n, int a)
{
    const double share = double(candidate.captures) / n;
    candidate.increase = share - (a > 0 ? double(candidate.anchors) / a : 0);
    candidate.importance = candidate.increase > 0 ? 2 / (1 / candidate.increase + 1 / share) : 0;
}

// "position >= 42.68 @T-3".
std::string comparison_text(const std::string& operand, std::string_view op,
                            const std::string& value, int k)
{
    std::string text = operand;
    text.append(" ").append(op).append(" ").append(value).append(" @T-").append(std::to_string(k));
    return text;
}

std::string quoted_name(const std::string& name)
{
    return "\"" + name + "\"";
}

double log10_chance(int captures, int anchors, int n, int a)
{
    // The anchors' share, kept off 0 and 1 so that a few anchors do not
    // make certainty of chance.
    const double share = (anchors + 1.0) / (a + 2.0);
    return captures > share * n ? log10_binomial_tail(captures, n, share) : 0;
}

// How many of sorted values lie from low to high.
int in_range(const std::vector<std::int64_t>& sorted, std::int64_t low, std::int64_t high)
{
    return int(std::upper_bound(sorted.begin(), sorted.end(), high) -
               std::lower_bound(sorted.begin(), sorted.end(), low));
}

// Whether two sorted lists hold at most `most` distinct values between them.
bool few_values(const std::vector<std::int64_t>& a, const std::vector<std::int64_t>& b,
                std::size_t most)
{
    std::size_t distinct = 0;
    std::optional<std::int64_t> last;
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() || j < b.size()) {
        const bool from_a = j == b.size() || (i < a.size() && a[i] <= b[j]);
        const std::int64_t value = from_a ? a[i++] : b[j++];
        if (value != last) {
            last = value;
            if (++distinct > most) {
                return false;
            }
        }
    }
    return true;
}

// The anchors a place's candidates are held against: all of them, or all
// but those taken as captures in a draw of chance.
struct Baseline {
    const std::vector<std::int64_t>& all;
    const std::vector<std::int64_t>* taken = nullptr;

    int count(std::int64_t low, std::int64_t high) const
    {
        return in_range(all, low, high) - (taken != nullptr ? in_range(*taken, low, high) : 0);
    }
};

using Histogram = std::array<int, 256>;

// The candidates of the captures' fault windows, place by place (a field or
// a byte at T-k): the anchors' values at a place are read once, then held
// against the captures' and against those of each draw of chance. Fields
// not compared, bits left out by the rules, bytes a field reads and
// counters (decided on the captures) make no candidates.
class CauseCounter {
public:
    CauseCounter(std::span<const FieldSpec> fields, const std::vector<Sample>& captures,
                 const std::vector<Sample>& anchors, const CauseSearch& search)
        : fields_(fields), captures_(captures), anchors_(anchors), search_(search)
    {
        const LogRecord compared = compared_bits(search_.rules.ignore, search_.rules.only);
        LogRecord read_by_fields{};
        for (std::size_t f = 0; f < fields_.size(); ++f) {
            const LogRecord bits = field_bits(fields_[f]);
            for (std::size_t b = 0; b < kRecordBytes; ++b) {
                read_by_fields[b] |= bits[b];
            }
            if (fields_[f].compared && !is_counter(field_runs(f))) {
                fields_counted_.push_back(f);
            }
        }
        // A byte that a field reads is explained through its field.
        for (std::size_t b = 0; b < kRecordBytes; ++b) {
            const auto bits = std::uint8_t(compared[b] & ~read_by_fields[b]);
            if (bits != 0 && !is_counter(byte_runs(b))) {
                bytes_counted_.emplace_back(b, bits);
            }
        }
    }

    // The candidates, with their conditions.
    std::vector<Candidate> count() const
    {
        std::vector<Candidate> candidates;
        visit(std::span(&captures_, 1), false,
              [&](std::size_t, int column, int captures, int anchors, const auto& condition) {
                  candidates.push_back({column, captures, anchors, condition(), 0});
              });
        return candidates;
    }

    // For each draw of anchors taken as captures (the others the baseline),
    // the least log10 chance of any of its candidates.
    std::vector<double> least_chances(const std::vector<std::vector<Sample>>& draws) const
    {
        std::vector<double> least(draws.size(), 0);
        visit(draws, true, [&](std::size_t draw, int, int captures, int anchors, const auto&) {
            const int n = int(draws[draw].size());
            least[draw] =
                std::min(least[draw], log10_chance(captures, anchors, n, int(anchors_.size()) - n));
        });
        return least;
    }

private:
    bool cancelled() const
    {
        return search_.cancelled != nullptr && search_.cancelled->load(std::memory_order_relaxed);
    }

    // Each place's candidates for each set of captures, counted against the
    // anchors (less that set when less_set): add(set, column, captures,
    // anchors, condition), condition() making the condition's text.
    template <typename Add>
    void visit(std::span<const std::vector<Sample>> sets, bool less_set, const Add& add) const
    {
        for (const std::size_t f : fields_counted_) {
            for (int k = 1; k <= search_.window && !cancelled(); ++k) {
                const auto all = field_values(f, k, anchors_);
                for (std::size_t set = 0; set < sets.size(); ++set) {
                    const auto held = field_values(f, k, sets[set]);
                    field_candidates(f, k, held, Baseline{all, less_set ? &held : nullptr},
                                     [&](int captures, int anchors, const auto& condition) {
                                         add(set, int(f), captures, anchors, condition);
                                     });
                }
            }
        }
        for (const auto& byte : bytes_counted_) {
            // Named, not bound: a lambda below takes it.
            const std::size_t b = byte.first;
            const std::uint8_t bits = byte.second;
            for (int k = 1; k <= search_.window && !cancelled(); ++k) {
                const Histogram all = histogram(b, k, anchors_);
                for (std::size_t set = 0; set < sets.size(); ++set) {
                    const Histogram held = histogram(b, k, sets[set]);
                    Histogram baseline = all;
                    for (std::size_t value = 0; less_set && value < baseline.size(); ++value) {
                        baseline[value] -= held[value];
                    }
                    byte_candidates(b, bits, k, held, baseline,
                                    [&](int captures, int anchors, const auto& condition) {
                                        add(set, int(fields_.size() + b), captures, anchors,
                                            condition);
                                    });
                }
            }
        }
    }

    // The values of a field, record by record, in each capture's log.
    std::vector<std::vector<std::int64_t>> field_runs(std::size_t f) const
    {
        std::vector<std::vector<std::int64_t>> runs;
        for (const Sample& capture : captures_) {
            auto& run = runs.emplace_back();
            for (int r = 0; r <= capture.record; ++r) {
                if (const auto raw = field_raw(fields_[f], capture.log->records[std::size_t(r)])) {
                    run.push_back(*raw);
                }
            }
        }
        return runs;
    }

    std::vector<std::vector<std::int64_t>> byte_runs(std::size_t b) const
    {
        std::vector<std::vector<std::int64_t>> runs;
        for (const Sample& capture : captures_) {
            auto& run = runs.emplace_back();
            for (int r = 0; r <= capture.record; ++r) {
                run.push_back(capture.log->records[std::size_t(r)][b]);
            }
        }
        return runs;
    }

    // The raw values of a field at T-k of each sample that holds one, sorted.
    std::vector<std::int64_t> field_values(std::size_t f, int k,
                                           const std::vector<Sample>& samples) const
    {
        std::vector<std::int64_t> values;
        values.reserve(samples.size());
        for (const Sample& sample : samples) {
            const int at = sample.record - k;
            if (at >= 0) {
                if (const auto raw = field_raw(fields_[f], sample.log->records[std::size_t(at)])) {
                    values.push_back(*raw);
                }
            }
        }
        std::sort(values.begin(), values.end());
        return values;
    }

    // Whether a record's byte is its block's length, header or data: its
    // checksum follows from the others, and what lies after it is no part
    // of the block.
    static bool in_block(const LogRecord& record, std::size_t b)
    {
        const std::size_t first = b < kDirectionBytes ? 0 : kDirectionBytes;
        constexpr std::size_t kHeader = 3;
        return b - first < kHeader + record[first];
    }

    // How many samples hold each value of a byte at T-k, in its block.
    static Histogram histogram(std::size_t b, int k, const std::vector<Sample>& samples)
    {
        Histogram counts{};
        for (const Sample& sample : samples) {
            const int at = sample.record - k;
            if (at >= 0 && in_block(sample.log->records[std::size_t(at)], b)) {
                ++counts[sample.log->records[std::size_t(at)][b]];
            }
        }
        return counts;
    }

    // Equality with each value the captures hold (a field with names, or
    // with few values), or thresholds at the values that the most
    // captures, nine in ten of them, ... half of them reach.
    template <typename Add>
    void field_candidates(std::size_t f, int k, const std::vector<std::int64_t>& in_captures,
                          const Baseline& baseline, const Add& add) const
    {
        if (in_captures.empty()) {
            return;
        }
        const FieldSpec& field = fields_[f];
        const auto condition = [&field, k](std::string_view op, std::int64_t raw) {
            const auto named = field.names.find(raw);
            // A name holding a double quote has no way into the language.
            const bool by_name = op == "=" && named != field.names.end() &&
                                 named->second.find('"') == std::string::npos;
            return comparison_text(operand_name(field.name), op,
                                   by_name ? quoted_name(named->second) : value_text(field, raw),
                                   k);
        };
        constexpr std::size_t kFewValues = 8;
        if (!field.names.empty() || few_values(in_captures, baseline.all, kFewValues)) {
            std::vector<std::int64_t> distinct = in_captures;
            distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
            for (const std::int64_t raw : distinct) {
                add(in_range(in_captures, raw, raw), baseline.count(raw, raw),
                    [&] { return condition("=", raw); });
            }
            if (!field.names.empty()) {
                return;
            }
        }
        constexpr std::array<double, 6> kShares{1.0, 0.95, 0.9, 0.8, 0.7, 0.5};
        std::set<std::int64_t> above;
        std::set<std::int64_t> below;
        const auto n = in_captures.size();
        for (const double share : kShares) {
            const auto reach = std::size_t(std::ceil(share * double(n)));
            above.insert(in_captures[n - reach]);
            below.insert(in_captures[reach - 1]);
        }
        constexpr std::int64_t kAny = std::numeric_limits<std::int64_t>::max();
        for (const std::int64_t raw : above) {
            add(in_range(in_captures, raw, kAny), baseline.count(raw, kAny),
                [&] { return condition(">=", raw); });
        }
        for (const std::int64_t raw : below) {
            add(in_range(in_captures, -kAny, raw), baseline.count(-kAny, raw),
                [&] { return condition("<=", raw); });
        }
    }

    static std::string value_text(const FieldSpec& field, std::int64_t raw)
    {
        return field_number_text(field, FieldValue{raw, double(raw) * field.scale, std::nullopt});
    }

    // Each compared bit of a byte at T-k, set or clear, where it is part of
    // its block.
    template <typename Add>
    void byte_candidates(std::size_t b, std::uint8_t bits, int k, const Histogram& in_captures,
                         const Histogram& in_anchors, const Add& add) const
    {
        const auto condition = [b, k](std::uint8_t mask, bool set) {
            const Direction direction = b < kDirectionBytes ? Direction::Recv : Direction::Send;
            const std::string masked = std::string(direction_key(direction)) + "[" +
                                       std::to_string(b % kDirectionBytes) + "] & " +
                                       hex_byte_value(mask);
            return comparison_text(masked, "=", set ? hex_byte_value(mask) : "0", k);
        };
        for (int bit = 0; bit < 8; ++bit) {
            const auto mask = std::uint8_t(1U << unsigned(bit));
            if ((bits & mask) == 0) {
                continue;
            }
            std::array<int, 2> captures{};  // clear, set
            std::array<int, 2> anchors{};
            for (std::size_t value = 0; value < in_captures.size(); ++value) {
                const std::size_t set = (value & mask) != 0 ? 1 : 0;
                captures[set] += in_captures[value];
                anchors[set] += in_anchors[value];
            }
            // A bit that never changes in captures and anchors together
            // tells nothing, and is not counted among those tested.
            if (captures[0] + anchors[0] == 0 || captures[1] + anchors[1] == 0) {
                continue;
            }
            add(captures[1], anchors[1], [&] { return condition(mask, true); });
            add(captures[0], anchors[0], [&] { return condition(mask, false); });
        }
    }

    std::span<const FieldSpec> fields_;
    const std::vector<Sample>& captures_;
    const std::vector<Sample>& anchors_;
    const CauseSearch& search_;
    std::vector<std::size_t> fields_counted_;
    std::vector<std::pair<std::size_t, std::uint8_t>> bytes_counted_;
};

// Where a candidate holds, sample by sample: its T places read from each
// sample's own record.
std::vector<bool> holding(const std::string& condition, const std::vector<Sample>& samples,
                          std::span<const FieldSpec> fields)
{
    std::string relative = condition;
    for (std::size_t at = relative.find("@T-"); at != std::string::npos;
         at = relative.find("@T-", at)) {
        relative.erase(at + 1, 1);
    }
    const auto read = read_condition(relative, fields);
    std::vector<bool> held(samples.size(), false);
    if (read.condition) {
        for (std::size_t i = 0; i < samples.size(); ++i) {
            held[i] = holds(*read.condition, *samples[i].log, *samples[i].timeline,
                            samples[i].record, fields);
        }
    }
    return held;
}

int both(const std::vector<bool>& a, const std::vector<bool>& b)
{
    int count = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        count += a[i] && b[i] ? 1 : 0;
    }
    return count;
}

// The strongest candidate of each of the strongest few fields and bytes
// that stand out alone (log10 of their chance at most most_log10_chance),
// two at a time: a pair whose increase is well above its stronger half's.
// tested: how many pairs were tried.
std::vector<Candidate> pairs_of(const std::vector<Candidate>& ranked,
                                const std::vector<Sample>& captures,
                                const std::vector<Sample>& anchors,
                                std::span<const FieldSpec> fields, double most_log10_chance,
                                std::size_t& tested)
{
    constexpr std::size_t kPaired = 6;
    std::vector<const Candidate*> tops;
    std::set<int> columns;
    for (const Candidate& candidate : ranked) {
        if (tops.size() == kPaired) {
            break;
        }
        if (candidate.log10_chance <= most_log10_chance && candidate.importance > 0 &&
            columns.insert(candidate.column).second) {
            tops.push_back(&candidate);
        }
    }
    std::vector<std::pair<std::vector<bool>, std::vector<bool>>> held;
    held.reserve(tops.size());
    for (const Candidate* top : tops) {
        held.emplace_back(holding(top->condition, captures, fields),
                          holding(top->condition, anchors, fields));
    }
    const int n = int(captures.size());
    const int a = int(anchors.size());
    const int first_column = int(fields.size() + kRecordBytes);
    std::vector<Candidate> pairs;
    for (std::size_t i = 0; i < tops.size(); ++i) {
        for (std::size_t j = i + 1; j < tops.size(); ++j) {
            ++tested;
            Candidate pair{first_column + int(pairs.size()), both(held[i].first, held[j].first),
                           both(held[i].second, held[j].second),
                           tops[i]->condition + " and " + tops[j]->condition, 0};
            pair.log10_chance = log10_chance(pair.captures, pair.anchors, n, a);
            weigh(pair, n, a);
            // A pair no better than its stronger half is that half.
            constexpr double kLeastGain = 0.1;
            if (pair.increase >= std::max(tops[i]->increase, tops[j]->increase) + kLeastGain) {
                pairs.push_back(std::move(pair));
            }
        }
    }
    return pairs;
}

// How unlikely by chance a candidate must be to stand out: for a few
// captures, beyond the strongest candidate of every one of 99 draws of
// anchors taken as captures (a permutation test: the candidates' dependence,
// nested thresholds and neighbouring places, counted as it is); for many,
// or too few anchors to draw from, kCauseSignificance divided by the
// number tested (Bonferroni).
double least_chance_that_stands_out(const CauseCounter& counter, const std::vector<Sample>& anchors,
                                    std::size_t n, std::size_t tested)
{
    constexpr std::size_t kMostDrawn = 50;
    constexpr int kDraws = 99;
    if (n > kMostDrawn || anchors.size() < 2 * n + kFewestAnchors / 2) {
        return std::log10(kCauseSignificance) -
               std::log10(double(std::max<std::size_t>(tested, 1)));
    }
    std::mt19937_64 random(n);  // the same answer for the same series
    std::vector<std::vector<Sample>> draws;
    for (int draw = 0; draw < kDraws; ++draw) {
        std::vector<Sample> shuffled = anchors;
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        shuffled.resize(n);
        draws.push_back(std::move(shuffled));
    }
    const std::vector<double> least = counter.least_chances(draws);
    return *std::min_element(least.begin(), least.end());
}

LikelyCause as_cause(const Candidate& candidate, int captures, int anchors)
{
    LikelyCause cause;
    cause.condition = candidate.condition;
    cause.captures = candidate.captures;
    cause.of = captures;
    cause.baseline_share = anchors > 0 ? double(candidate.anchors) / anchors : 0;
    cause.score = candidate.importance;
    return cause;
}

}  // namespace

std::string cause_share_text(double share)
{
    const int decimals = share >= 0.1 || share == 0 ? 0 : 1;
    return QString::number(100 * share, 'f', decimals).toStdString() + "%";
}

std::string cause_score_text(double score)
{
    return QString::number(score, 'f', 2).toStdString();
}

CauseFinding likely_causes(const Series& series, std::span<const FieldSpec> fields,
                           const CauseSearch& search)
{
    std::vector<Sample> captures;
    std::set<Command> commands;
    std::optional<RecordCondition> stop;
    for (const SeriesCapture& capture : series.captures) {
        if (capture.timeline.fired) {
            captures.push_back({&capture.log, &capture.timeline, *capture.timeline.fired});
            commands.insert(command_of(capture.log.records[std::size_t(*capture.timeline.fired)]));
            stop = stop ? stop : stop_condition_of(capture.log);
        }
    }
    std::vector<Sample> anchors;
    if (search.baseline == nullptr) {
        for (const SeriesCapture& capture : series.captures) {
            if (capture.timeline.fired) {
                add_anchors(capture, *capture.timeline.fired - search.window, search.window,
                            commands, stop, anchors);
            }
        }
    } else {
        for (const SeriesCapture& log : search.baseline->captures) {
            add_anchors(log, log.timeline.written, search.window, commands, stop, anchors);
        }
    }
    CauseFinding finding;
    finding.anchors = int(anchors.size());
    if (captures.empty()) {
        return finding;
    }
    const CauseCounter counter(fields, captures, anchors, search);
    std::vector<Candidate> candidates = counter.count();
    finding.candidates = candidates.size();
    const int n = int(captures.size());
    const int a = int(anchors.size());
    for (Candidate& candidate : candidates) {
        candidate.log10_chance = log10_chance(candidate.captures, candidate.anchors, n, a);
        weigh(candidate, n, a);
    }
    const auto rank = [&candidates] {
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const Candidate& x, const Candidate& y) {
                             return x.importance != y.importance ? x.importance > y.importance
                                                                 : x.log10_chance < y.log10_chance;
                         });
    };
    rank();
    // Pairs that may be tried are counted among those tested.
    constexpr std::size_t kMostPairs = 15;
    const double most_log10_chance = least_chance_that_stands_out(counter, anchors, captures.size(),
                                                                  finding.candidates + kMostPairs);
    std::vector<Candidate> pairs =
        pairs_of(candidates, captures, anchors, fields, most_log10_chance, finding.candidates);
    candidates.insert(candidates.end(), std::make_move_iterator(pairs.begin()),
                      std::make_move_iterator(pairs.end()));
    rank();
    // The strongest of each field or byte; the others fold into it.
    constexpr std::size_t kMostFolded = 5;
    std::map<int, std::size_t> by_column;
    for (const Candidate& candidate : candidates) {
        if (!finding.best) {
            finding.best = as_cause(candidate, n, a);
        }
        if (candidate.log10_chance > most_log10_chance || candidate.importance <= 0) {
            continue;
        }
        const LikelyCause cause = as_cause(candidate, n, a);
        const auto [at, first] = by_column.emplace(candidate.column, finding.causes.size());
        if (first) {
            finding.causes.push_back(cause);
        } else if (finding.causes[at->second].folded.size() < kMostFolded) {
            finding.causes[at->second].folded.push_back(cause.condition);
        }
    }
    if (finding.causes.size() > kMostCauses) {
        finding.causes.resize(kMostCauses);
    }
    if (!finding.causes.empty()) {
        finding.best.reset();
    }
    return finding;
}

}  // namespace quillon
