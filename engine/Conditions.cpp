#include "Conditions.h"

#include "LogAnalysis.h"
#include "Wording.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace quillon {

namespace {

using Kind = ConditionNode::Kind;
using Problem = ConditionProblem;

constexpr int kFarthestPlace = kLogRecords - 1;
constexpr int kLongestWithin = 255;

// Words that cannot name a field unless in backquotes.
constexpr std::array<std::string_view, 13> kReservedWords{
    "and",  "or",     "not",  "in",   "any",     "all",   "count",
    "then", "within", "recv", "send", "written", "offset"};

struct ComparisonWord {
    std::string_view word;
    ConditionOp op;
};
// The longer first, so that "<=" is not read as "<".
constexpr std::array<ComparisonWord, 6> kComparisonWords{{{"!=", ConditionOp::NotEqual},
                                                          {"<=", ConditionOp::LessOrEqual},
                                                          {">=", ConditionOp::GreaterOrEqual},
                                                          {"=", ConditionOp::Equal},
                                                          {"<", ConditionOp::Less},
                                                          {">", ConditionOp::Greater}}};

bool is_name_part(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool is_digit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Thrown inside the parser only, and caught by read_condition.
struct Refusal {
    ConditionError error;
};

std::int64_t saturated_add(std::int64_t a, std::int64_t b)
{
    return std::min(a + b, kMostConditionCost + 1);
}

std::int64_t saturated_times(std::int64_t a, std::int64_t b)
{
    return a > (kMostConditionCost + 1) / std::max<std::int64_t>(b, 1)
               ? kMostConditionCost + 1
               : std::min(a * b, kMostConditionCost + 1);
}

class Parser {
public:
    Parser(std::string_view text, std::span<const FieldSpec> fields) : text_(text), fields_(fields)
    {
    }

    Condition read()
    {
        skip_blanks();
        if (at_ == text_.size()) {
            refuse(Problem::Empty);
        }
        condition_.root = then_expression();
        skip_blanks();
        if (at_ != text_.size()) {
            refuse(Problem::TextAfter);
        }
        return std::move(condition_);
    }

private:
    [[noreturn]] void refuse(Problem problem) const { refuse_at(problem, at_); }
    [[noreturn]] void refuse_at(Problem problem, std::size_t at) const
    {
        throw Refusal{ConditionError{problem, text_column(text_, at), SyntaxProblem::NoOperand}};
    }

    void skip_blanks()
    {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t')) {
            ++at_;
        }
    }

    bool take(std::string_view word)
    {
        skip_blanks();
        if (text_.substr(at_).starts_with(word)) {
            at_ += word.size();
            return true;
        }
        return false;
    }

    // A word of the language, not the start of a longer name.
    bool take_word(std::string_view word)
    {
        skip_blanks();
        const std::size_t end = at_ + word.size();
        if (text_.substr(at_).starts_with(word) &&
            (end == text_.size() || !is_name_part(text_[end]))) {
            at_ = end;
            return true;
        }
        return false;
    }

    bool looking_at_word(std::string_view word)
    {
        const std::size_t start = at_;
        const bool found = take_word(word);
        at_ = start;
        return found;
    }

    int add(ConditionNode node)
    {
        if (condition_.nodes.size() >= kMostConditionNodes) {
            refuse(Problem::TooManyNodes);
        }
        condition_.nodes.push_back(std::move(node));
        return int(condition_.nodes.size() - 1);
    }

    struct Deeper {
        // start: where the construct that goes deeper begins.
        Deeper(Parser& parser, std::size_t start) : parser_(parser)
        {
            if (++parser_.depth_ > kDeepestCondition) {
                parser_.refuse_at(Problem::TooDeep, start);
            }
        }
        ~Deeper() { --parser_.depth_; }
        Deeper(const Deeper&) = delete;
        Deeper& operator=(const Deeper&) = delete;

    private:
        Parser& parser_;
    };

    // then-expression: or-expression { "then" or-expression "within" K }
    int then_expression()
    {
        int left = or_expression();
        while (true) {
            skip_blanks();
            const std::size_t then_at = at_;
            if (!take_word("then")) {
                break;
            }
            const int right = or_expression();
            if (!take_word("within")) {
                skip_blanks();
                refuse(Problem::NoWithin);
            }
            skip_blanks();
            const std::size_t start = at_;
            const auto k = whole_number();
            if (!k || *k < 1 || *k > kLongestWithin) {
                refuse_at(Problem::WithinOutOfRange, start);
            }
            ConditionNode node;
            node.kind = Kind::Then;
            node.children = {left, right};
            node.within = int(*k);
            left = add(std::move(node));
            if (cost(left) > kMostConditionCost) {
                refuse_at(Problem::TooCostly, then_at);
            }
        }
        return left;
    }

    int or_expression()
    {
        return joined(Kind::Or, "or", [this] { return and_expression(); });
    }
    int and_expression()
    {
        return joined(Kind::And, "and", [this] { return not_expression(); });
    }

    template <typename Term>
    int joined(Kind kind, std::string_view word, Term term)
    {
        const int first = term();
        if (!looking_at_word(word)) {
            return first;
        }
        ConditionNode node;
        node.kind = kind;
        node.children.push_back(first);
        while (take_word(word)) {
            node.children.push_back(term());
        }
        return add(std::move(node));
    }

    int not_expression()
    {
        skip_blanks();
        const std::size_t start = at_;
        if (!take_word("not")) {
            return primary();
        }
        const Deeper deeper(*this, start);
        ConditionNode node;
        node.kind = Kind::Not;
        node.children = {not_expression()};
        return add(std::move(node));
    }

    int primary()
    {
        skip_blanks();
        const std::size_t start = at_;
        int node = 0;
        if (take("(")) {
            const Deeper deeper(*this, start);
            node = then_expression();
            if (!take(")")) {
                skip_blanks();
                refuse(Problem::NoClosingBracket);
            }
        } else if (take_word("any")) {
            return over_range(Kind::Any, start);
        } else if (take_word("all")) {
            return over_range(Kind::All, start);
        } else if (take_word("count")) {
            return over_range(Kind::Count, start);
        } else {
            node = comparison();
        }
        if (const auto place = place_after()) {
            give_place(node, *place);
        }
        return node;
    }

    // any(COND) @RANGE, all(COND) @RANGE, count(COND) @RANGE OP N.
    int over_range(Kind kind, std::size_t start)
    {
        const Deeper deeper(*this, start);
        if (!take("(")) {
            skip_blanks();
            refuse(Problem::NoOpeningBracket);
        }
        const int inside = then_expression();
        if (!take(")")) {
            skip_blanks();
            refuse(Problem::NoClosingBracket);
        }
        ConditionNode node;
        node.kind = kind;
        node.children = {inside};
        node.range = place_range();
        if (kind == Kind::Count) {
            skip_blanks();
            const auto op = comparison_op();
            skip_blanks();
            const auto count = op ? whole_number() : std::nullopt;
            if (!count) {
                refuse(Problem::NoCount);
            }
            node.op = *op;
            node.value = double(*count);
        }
        const std::int64_t length = node.range.last.offset - node.range.first.offset + 1;
        if (saturated_times(cost(inside), length) > kMostConditionCost) {
            refuse_at(Problem::TooCostly, start);
        }
        return add(std::move(node));
    }

    // operand [@PLACE] [& MASK]
    ConditionOperand side()
    {
        skip_blanks();
        const std::size_t start = at_;
        const OperandRead read = read_operand(text_, at_);
        if (read.error) {
            throw Refusal{
                ConditionError{Problem::Operand, read.error->column, read.error->problem}};
        }
        ConditionOperand side;
        side.operand = *read.operand;
        if (side.operand.kind == Operand::Kind::Field) {
            const bool quoted = text_[start] == '`';
            if (!quoted && (side.state = record_state(side.operand.field)) != RecordState::None) {
                at_ = read.end;
                side.place = place_at();
                if (looking_at("&")) {
                    refuse(Problem::MaskOnField);
                }
                return side;
            }
            if (!quoted && std::find(kReservedWords.begin(), kReservedWords.end(),
                                     side.operand.field) != kReservedWords.end()) {
                refuse_at(Problem::ReservedWord, start);
            }
            const auto field =
                std::find_if(fields_.begin(), fields_.end(),
                             [&](const FieldSpec& f) { return f.name == side.operand.field; });
            if (field == fields_.end()) {
                refuse_at(Problem::UnknownField, start);
            }
            side.field = std::size_t(field - fields_.begin());
        }
        at_ = read.end;
        side.place = place_at();
        if (take("&")) {
            if (!takes_mask(side)) {
                refuse_at(Problem::MaskOnField, at_ - 1);
            }
            skip_blanks();
            const std::size_t mask_at = at_;
            const auto mask = whole_number();
            if (!mask || *mask > 0xFF) {
                refuse_at(Problem::NoMask, mask_at);
            }
            side.mask = std::uint8_t(*mask);
        }
        return side;
    }

    bool looking_at(std::string_view word)
    {
        skip_blanks();
        return text_.substr(at_).starts_with(word);
    }

    static RecordState record_state(std::string_view word)
    {
        if (word == "written") {
            return RecordState::Written;
        }
        return word == "offset" ? RecordState::Offset : RecordState::None;
    }

    static bool takes_mask(const ConditionOperand& side)
    {
        return side.state == RecordState::None && (side.operand.kind == Operand::Kind::Byte ||
                                                   (side.operand.kind == Operand::Kind::Decoded &&
                                                    side.operand.part != DecodedPart::Checksum));
    }

    // A byte, a field's name or a backquote where a value may be; any other
    // word is a value wrongly written.
    bool operand_next()
    {
        skip_blanks();
        if (at_ < text_.size() && text_[at_] == '`') {
            return true;
        }
        const OperandRead read = read_operand(text_, at_);
        if (!read.operand) {
            return read.error && read.error->problem != SyntaxProblem::NoOperand;
        }
        return read.operand->kind != Operand::Kind::Field ||
               record_state(read.operand->field) != RecordState::None ||
               std::any_of(fields_.begin(), fields_.end(), [&](const FieldSpec& field) {
                   return field.name == read.operand->field;
               });
    }

    // Whether the word here is one of the field's value names: "mode=moving"
    // of --where compares with the name, not with a field named so. Read
    // as a value, it is refused unquoted here, and read by the old form.
    bool names_a_value(const ConditionOperand& side) const
    {
        if (side.state != RecordState::None || side.operand.kind != Operand::Kind::Field) {
            return false;
        }
        std::size_t end = at_;
        while (end < text_.size() && is_name_part(text_[end])) {
            ++end;
        }
        const std::string_view word = text_.substr(at_, end - at_);
        const auto& names = fields_[side.field].names;
        return std::any_of(names.begin(), names.end(),
                           [&](const auto& entry) { return entry.second == word; });
    }

    // side (OP VALUE | OP side | in LOW..HIGH)
    int comparison()
    {
        ConditionNode node;
        node.left = side();
        skip_blanks();
        if (take_word("in")) {
            node.kind = Kind::InRange;
            node.value = value_of(node);
            if (!take("..")) {
                skip_blanks();
                refuse(Problem::NoRangeDots);
            }
            const bool low_by_raw = node.by_raw;
            const std::size_t high_at = at_;
            node.high = value_of(node);
            if (node.by_raw != low_by_raw || node.high < node.value) {
                refuse_at(Problem::EmptyRange, high_at);
            }
            return add(std::move(node));
        }
        const auto op = comparison_op();
        if (!op) {
            refuse(Problem::NoComparison);
        }
        node.kind = Kind::Compare;
        node.op = *op;
        if (operand_next() && !names_a_value(node.left)) {
            node.right = side();
        } else {
            node.value = value_of(node);
        }
        return add(std::move(node));
    }

    std::optional<ConditionOp> comparison_op()
    {
        for (const ComparisonWord& word : kComparisonWords) {
            if (text_.substr(at_).starts_with(word.word)) {
                at_ += word.word.size();
                return word.op;
            }
        }
        return std::nullopt;
    }

    // A number, or a quoted value name of the node's field (by_raw).
    double value_of(ConditionNode& node)
    {
        skip_blanks();
        const std::size_t start = at_;
        if (at_ < text_.size() && text_[at_] == '"') {
            const std::size_t close = text_.find('"', at_ + 1);
            if (close == std::string_view::npos) {
                refuse(Problem::UnclosedValueName);
            }
            const std::string_view name = text_.substr(at_ + 1, close - at_ - 1);
            if (const auto raw = raw_value_named(node.left, name)) {
                at_ = close + 1;
                node.by_raw = true;
                return *raw;
            }
            refuse(Problem::UnknownValueName);
        }
        node.by_raw = false;
        if (const auto number = this->number()) {
            return *number;
        }
        refuse_at(Problem::NoValue, start);
    }

    // The raw value that a field's value name, or a checksum's state
    // ("ok", "bad", "cut"), stands for; refused for an operand without
    // names.
    std::optional<double> raw_value_named(const ConditionOperand& side, std::string_view name) const
    {
        if (side.state == RecordState::None && side.operand.kind == Operand::Kind::Field) {
            for (const auto& [raw, raw_name] : fields_[side.field].names) {
                if (raw_name == name) {
                    return double(raw);
                }
            }
            return std::nullopt;
        }
        if (side.state != RecordState::None || side.operand.kind != Operand::Kind::Decoded ||
            side.operand.part != DecodedPart::Checksum) {
            refuse(Problem::NameOnByte);
        }
        for (const ChecksumState state :
             {ChecksumState::Ok, ChecksumState::Bad, ChecksumState::Cut}) {
            if (checksum_text(state) == name) {
                return double(int(state));
            }
        }
        return std::nullopt;
    }

    // Decimal with an optional sign and fraction, or 0x hexadecimal.
    std::optional<double> number()
    {
        const std::size_t start = at_;
        const bool negative = at_ < text_.size() && text_[at_] == '-';
        at_ += negative ? 1 : 0;
        if (text_.substr(at_).starts_with("0x") || text_.substr(at_).starts_with("0X")) {
            at_ += 2;
            const auto whole = digits(16);
            if (!whole) {
                at_ = start;
                return std::nullopt;
            }
            return negative ? -double(*whole) : double(*whole);
        }
        std::size_t end = at_;
        while (end < text_.size() && is_digit(text_[end])) {
            ++end;
        }
        if (end == at_) {
            at_ = start;
            return std::nullopt;
        }
        if (end + 1 < text_.size() && text_[end] == '.' && is_digit(text_[end + 1])) {
            ++end;
            while (end < text_.size() && is_digit(text_[end])) {
                ++end;
            }
        }
        double value = 0;
        const auto [ptr, ec] = std::from_chars(text_.data() + at_, text_.data() + end, value);
        if (ec != std::errc() || !std::isfinite(value)) {
            refuse_at(Problem::NoValue, start);
        }
        at_ = std::size_t(ptr - text_.data());
        return negative ? -value : value;
    }

    // Digits in a base; nothing when there are none, or too many to be
    // any number the language takes.
    std::optional<std::int64_t> digits(int base)
    {
        const bool digit_here =
            at_ < text_.size() &&
            (base == 16 ? std::isxdigit(static_cast<unsigned char>(text_[at_]))
                        : std::isdigit(static_cast<unsigned char>(text_[at_]))) != 0;
        if (!digit_here) {
            return std::nullopt;
        }
        std::int64_t value = 0;
        const auto [ptr, ec] =
            std::from_chars(text_.data() + at_, text_.data() + text_.size(), value, base);
        if (ec == std::errc::invalid_argument) {
            return std::nullopt;
        }
        if (ec != std::errc()) {
            refuse(Problem::NoValue);
        }
        at_ = std::size_t(ptr - text_.data());
        return value;
    }

    // A decimal or 0x whole number, not negative.
    std::optional<std::int64_t> whole_number()
    {
        if (text_.substr(at_).starts_with("0x") || text_.substr(at_).starts_with("0X")) {
            const std::size_t start = at_;
            at_ += 2;
            const auto value = digits(16);
            if (!value) {
                at_ = start;
            }
            return value;
        }
        if (at_ < text_.size() && is_digit(text_[at_])) {
            return digits(10);
        }
        return std::nullopt;
    }

    // "@PLACE" directly here, or nothing.
    std::optional<Place> place_at()
    {
        if (at_ >= text_.size() || text_[at_] != '@') {
            return std::nullopt;
        }
        ++at_;
        return place();
    }

    // "@PLACE" after blanks, or nothing.
    std::optional<Place> place_after()
    {
        skip_blanks();
        return place_at();
    }

    // 0, -K, +K, T0, T-K, T+K.
    Place place()
    {
        const std::size_t start = at_;
        Place place;
        if (at_ < text_.size() && text_[at_] == 'T') {
            place.from_fired = true;
            ++at_;
        }
        int sign = 0;
        if (at_ < text_.size() && (text_[at_] == '-' || text_[at_] == '+')) {
            sign = text_[at_] == '-' ? -1 : 1;
            ++at_;
        }
        const std::size_t digits_at = at_;
        if (at_ >= text_.size() || !is_digit(text_[at_])) {
            refuse_at(Problem::NoPlace, start);
        }
        std::int64_t k = 0;
        const auto [ptr, ec] = std::from_chars(text_.data() + at_, text_.data() + text_.size(), k);
        if (ec == std::errc() && sign == 0 && k != 0) {
            refuse_at(Problem::NoPlace, start);
        }
        if (ec != std::errc() || k > kFarthestPlace) {
            refuse_at(Problem::PlaceOutOfRange, digits_at);
        }
        at_ = std::size_t(ptr - text_.data());
        if (at_ < text_.size() && is_name_part(text_[at_])) {
            refuse_at(Problem::NoPlace, start);
        }
        place.offset = int(sign < 0 ? -k : k);
        return place;
    }

    PlaceRange place_range()
    {
        skip_blanks();
        if (at_ >= text_.size() || text_[at_] != '@') {
            refuse(Problem::NoPlaceRange);
        }
        ++at_;
        PlaceRange range;
        range.first = place();
        if (!take("..")) {
            refuse(Problem::NoPlaceRange);
        }
        const std::size_t last_at = at_;
        range.last = place();
        if (range.first.from_fired != range.last.from_fired) {
            refuse_at(Problem::MixedPlaceRange, last_at);
        }
        if (range.last.offset < range.first.offset) {
            refuse_at(Problem::EmptyRange, last_at);
        }
        return range;
    }

    // The place to every comparison inside without one of its own; not
    // into any, all and count, whose inside is read at each of their range.
    void give_place(int index, const Place& place)
    {
        ConditionNode& node = condition_.nodes[std::size_t(index)];
        switch (node.kind) {
        case Kind::Compare:
        case Kind::InRange:
            for (ConditionOperand* side : {&node.left, node.right ? &*node.right : nullptr}) {
                if (side != nullptr && !side->place) {
                    side->place = place;
                }
            }
            return;
        case Kind::Any:
        case Kind::All:
        case Kind::Count: return;
        case Kind::Not:
        case Kind::And:
        case Kind::Or:
        case Kind::Then: break;
        }
        for (const int child : std::vector<int>(node.children)) {
            give_place(child, place);
        }
    }

    // Comparisons made to hold the node at one record.
    std::int64_t cost(int index) const
    {
        const ConditionNode& node = condition_.nodes[std::size_t(index)];
        switch (node.kind) {
        case Kind::Compare:
        case Kind::InRange: return 1;
        case Kind::Any:
        case Kind::All:
        case Kind::Count:
            return saturated_times(cost(node.children[0]),
                                   node.range.last.offset - node.range.first.offset + 1);
        case Kind::Then:
            return saturated_add(saturated_times(cost(node.children[0]), node.within),
                                 cost(node.children[1]));
        case Kind::Not:
        case Kind::And:
        case Kind::Or: break;
        }
        std::int64_t sum = 0;
        for (const int child : node.children) {
            sum = saturated_add(sum, cost(child));
        }
        return sum;
    }

    std::string_view text_;
    std::span<const FieldSpec> fields_;
    std::size_t at_ = 0;
    int depth_ = 0;
    Condition condition_;
};

// The condition of the old form, "NAME OP REST".
std::optional<Condition> old_form(std::string_view text, std::span<const FieldSpec> fields)
{
    const TypedFieldCondition typed = field_condition_from_text(text, fields);
    if (!typed.condition) {
        return std::nullopt;
    }
    ConditionNode node;
    node.kind = Kind::Compare;
    node.left.operand.kind = Operand::Kind::Field;
    node.left.operand.field = fields[typed.condition->field].name;
    node.left.field = typed.condition->field;
    node.op = ConditionOp(int(typed.condition->comparison));
    node.value = typed.condition->value;
    Condition condition;
    condition.nodes.push_back(std::move(node));
    return condition;
}

bool compared(double value, ConditionOp op, double with)
{
    switch (op) {
    case ConditionOp::Equal: return value == with;
    case ConditionOp::NotEqual: return value != with;
    case ConditionOp::Less: return value < with;
    case ConditionOp::LessOrEqual: return value <= with;
    case ConditionOp::Greater: return value > with;
    case ConditionOp::GreaterOrEqual: break;
    }
    return value >= with;
}

class Evaluator {
public:
    Evaluator(const Condition& condition, const LogFile& log, const LogTimeline& timeline,
              std::span<const FieldSpec> fields)
        : condition_(condition), log_(log), timeline_(timeline), fields_(fields)
    {
    }

    bool written(int record) const { return record >= 0 && timeline_.is_written(record); }

    bool holds(int index, int record) const
    {
        const ConditionNode& node = condition_.nodes[std::size_t(index)];
        switch (node.kind) {
        case Kind::Compare:
        case Kind::InRange: return meets(node, record);
        case Kind::Not: return !holds(node.children[0], record);
        case Kind::And:
            return std::all_of(node.children.begin(), node.children.end(),
                               [&](int child) { return holds(child, record); });
        case Kind::Or:
            return std::any_of(node.children.begin(), node.children.end(),
                               [&](int child) { return holds(child, record); });
        case Kind::Then: return then_holds(node, record);
        case Kind::Any:
        case Kind::All:
        case Kind::Count: break;
        }
        return over_range(node, record);
    }

private:
    bool then_holds(const ConditionNode& node, int record) const
    {
        if (!holds(node.children[1], record)) {
            return false;
        }
        for (int before = record - 1; before >= std::max(0, record - node.within); --before) {
            if (holds(node.children[0], before)) {
                return true;
            }
        }
        return false;
    }

    bool over_range(const ConditionNode& node, int record) const
    {
        std::optional<int> from = record;
        if (node.range.first.from_fired) {
            from = timeline_.fired;
        }
        int written_in_range = 0;
        int meeting = 0;
        if (from) {
            const int first = std::max(0, *from + node.range.first.offset);
            const int last = std::min(timeline_.written - 1, *from + node.range.last.offset);
            for (int at = first; at <= last; ++at) {
                ++written_in_range;
                meeting += holds(node.children[0], at) ? 1 : 0;
            }
        }
        switch (node.kind) {
        case Kind::Any: return meeting > 0;
        case Kind::All: return written_in_range > 0 && meeting == written_in_range;
        default: break;
        }
        return compared(meeting, node.op, node.value);
    }

    std::optional<int> record_at(const std::optional<Place>& place, int record) const
    {
        if (!place) {
            return record;
        }
        if (place->from_fired) {
            if (!timeline_.fired) {
                return std::nullopt;
            }
            return *timeline_.fired + place->offset;
        }
        return record + place->offset;
    }

    // The operand's value where it is read: a byte's masked, a field's in
    // its unit (raw: as its bytes hold it); nothing there, nothing here.
    std::optional<double> value_of(const ConditionOperand& side, int record, bool raw) const
    {
        const auto at = record_at(side.place, record);
        if (side.state == RecordState::Written && at && *at >= 0 && *at < kLogRecords) {
            return written(*at) ? 1 : 0;
        }
        if (!at || !written(*at)) {
            return std::nullopt;
        }
        if (side.state == RecordState::Offset) {
            const auto offset = timeline_.offset(*at);
            return offset ? std::optional<double>(*offset) : std::nullopt;
        }
        const LogRecord& bytes = log_.records[std::size_t(*at)];
        if (side.operand.kind == Operand::Kind::Byte) {
            return bytes[record_byte_index(side.operand.direction, side.operand.byte)] & side.mask;
        }
        if (side.operand.kind == Operand::Kind::Decoded) {
            return decoded_part_value(bytes, side.operand.direction, side.operand.part) & side.mask;
        }
        const auto field = field_value(fields_[side.field], bytes);
        if (!field) {
            return std::nullopt;
        }
        return raw ? double(field->raw) : field->value;
    }

    bool meets(const ConditionNode& node, int record) const
    {
        const auto value = value_of(node.left, record, node.by_raw);
        if (!value) {
            return false;
        }
        if (node.kind == Kind::InRange) {
            return node.value <= *value && *value <= node.high;
        }
        if (node.right) {
            const auto other = value_of(*node.right, record, false);
            return other && compared(*value, node.op, *other);
        }
        return compared(*value, node.op, node.value);
    }

    const Condition& condition_;
    const LogFile& log_;
    const LogTimeline& timeline_;
    std::span<const FieldSpec> fields_;
};

}  // namespace

std::string operand_name(const std::string& name)
{
    const bool plain = !name.empty() && std::isdigit(static_cast<unsigned char>(name[0])) == 0 &&
                       std::all_of(name.begin(), name.end(), is_name_part);
    const bool reserved =
        std::find(kReservedWords.begin(), kReservedWords.end(), name) != kReservedWords.end();
    return plain && !reserved ? name : "`" + name + "`";
}

const char* condition_problem_text(const ConditionError& error)
{
    switch (error.problem) {
    case Problem::Operand: return syntax_problem_text(error.operand);
    case Problem::Empty: return QUILLON_TEXT("Message", "a condition expected");
    case Problem::ReservedWord:
        return QUILLON_TEXT("Message",
                            "a word of the language: a field so named goes in backquotes");
    case Problem::UnknownField:
        return QUILLON_TEXT("Message", "no field of the fields file has this name");
    case Problem::NoComparison:
        return QUILLON_TEXT("Message", "=, !=, <, <=, >, >= or in expected after '%1'");
    case Problem::NoValue: return QUILLON_TEXT("Message", "a value expected after '%1'");
    case Problem::UnclosedValueName: return QUILLON_TEXT("Message", "a double quote is not closed");
    case Problem::UnknownValueName: return QUILLON_TEXT("Message", "the field names no value so");
    case Problem::NameOnByte:
        return QUILLON_TEXT("Message", "a name of a value where only a number is compared");
    case Problem::MaskOnField: return QUILLON_TEXT("Message", "only a byte takes & MASK");
    case Problem::NoMask: return QUILLON_TEXT("Message", "a mask 0-0xFF expected after '&'");
    case Problem::NoRangeDots:
        return QUILLON_TEXT("Message", "'..' and the range's high end expected");
    case Problem::EmptyRange: return QUILLON_TEXT("Message", "a range that holds nothing");
    case Problem::NoClosingBracket: return QUILLON_TEXT("Message", "')' expected");
    case Problem::NoOpeningBracket: return QUILLON_TEXT("Message", "'(' expected after '%1'");
    case Problem::NoPlace:
        return QUILLON_TEXT("Message", "a place expected after '@' (0, -K, +K, T0, T-K, T+K)");
    case Problem::PlaceOutOfRange:
        return QUILLON_TEXT("Message", "a place beyond the records a log holds (255)");
    case Problem::NoPlaceRange:
        return QUILLON_TEXT("Message", "a range of places expected (@T-10..T-1, @-5..-1)");
    case Problem::MixedPlaceRange:
        return QUILLON_TEXT("Message", "a range's two places both from T or both from the record");
    case Problem::NoCount:
        return QUILLON_TEXT("Message",
                            "a comparison with a whole number expected after count's range");
    case Problem::NoWithin: return QUILLON_TEXT("Message", "'within K' expected after 'then'");
    case Problem::WithinOutOfRange: return QUILLON_TEXT("Message", "K of within is 1 to 255");
    case Problem::TextAfter: return QUILLON_TEXT("Message", "the condition ends before this");
    case Problem::TooLong: return QUILLON_TEXT("Message", "longer than 4096 bytes");
    case Problem::TooDeep: return QUILLON_TEXT("Message", "nested deeper than 64");
    case Problem::TooManyNodes: return QUILLON_TEXT("Message", "more than 512 parts");
    case Problem::TooCostly: break;
    }
    return QUILLON_TEXT("Message", "too costly to hold at each record: ranges too long");
}

std::string condition_error_after(std::string_view text, const ConditionError& error)
{
    // The byte where the error's column begins.
    std::size_t at = 0;
    for (int column = 1; at < text.size() && column < error.column; ++column) {
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
            ++at;
        }
    }
    std::size_t end = at;
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t')) {
        --end;
    }
    std::size_t start = end;
    const auto is_word = [](char c) { return is_name_part(c) || c == '[' || c == ']' || c == '.'; };
    const bool word = start > 0 && is_word(text[start - 1]);
    while (start > 0 && text[start - 1] != ' ' && text[start - 1] != '\t' &&
           is_word(text[start - 1]) == word && text[start - 1] != '(' && text[start - 1] != ')') {
        --start;
    }
    return std::string(text.substr(start, end - start));
}

ConditionRead read_condition(std::string_view text, std::span<const FieldSpec> fields)
{
    if (text.size() > kLongestCondition) {
        return {std::nullopt, ConditionError{Problem::TooLong, text_column(text, kLongestCondition),
                                             SyntaxProblem::NoOperand}};
    }
    try {
        return {Parser(text, fields).read(), std::nullopt};
    } catch (const Refusal& refusal) {
        if (auto old = old_form(text, fields)) {
            return {std::move(old), std::nullopt};
        }
        return {std::nullopt, refusal.error};
    }
}

bool holds(const Condition& condition, const LogFile& log, const LogTimeline& timeline, int record,
           std::span<const FieldSpec> fields)
{
    const Evaluator evaluator(condition, log, timeline, fields);
    return evaluator.written(record) && evaluator.holds(condition.root, record);
}

}  // namespace quillon
