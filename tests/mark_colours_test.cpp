// The colours of marks, differences, byte headers and the scale of differing
// records under a light palette (Fusion's) and a dark one: text reads on
// each at 4.5:1 at least and each is seen on its base. The log table and
// the byte strip take them from the palette in use.
#include "ByteCountStrip.h"
#include "LogTableModel.h"
#include "MarkColours.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QBrush>
#include <QStyle>
#include <QStyleFactory>

#include <cmath>
#include <memory>
#include <tuple>

namespace {

// Colours this far apart (RGB distance) are told apart at a glance.
constexpr double kSeen = 40;

double distance(const QColor& one, const QColor& other)
{
    return std::hypot(one.red() - other.red(), one.green() - other.green(),
                      one.blue() - other.blue());
}

QPalette light_palette()
{
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create("Fusion"));
    return fusion->standardPalette();
}

// A dark desktop's palette, its disabled text too dim to read on its base.
QPalette dark_palette()
{
    QPalette dark(QColor(0x35, 0x35, 0x35), QColor(0x2b, 0x2b, 0x2b));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        dark.setColor(role, QColor(0xe0, 0xe0, 0xe0));
    }
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x7f, 0x7f, 0x7f));
    return dark;
}

TEST(MarkColoursTest, ContrastRatioIsWcags)
{
    EXPECT_DOUBLE_EQ(contrast_ratio(Qt::white, Qt::black), 21);
    // The grey WCAG's examples give as just reaching 4.5:1 on white.
    EXPECT_NEAR(contrast_ratio(QColor(0x76, 0x76, 0x76), Qt::white), 4.54, 0.01);
}

class MarkColoursUnder : public ::testing::TestWithParam<const char*> {
protected:
    const QPalette shown_ = GetParam() == std::string("dark") ? dark_palette() : light_palette();
};

TEST_P(MarkColoursUnder, TextReadsOnEveryMarkAndEveryMarkIsSeen)
{
    const MarkColours colours = mark_colours(shown_);
    // A background, what it is drawn on when unmarked and the text on it.
    using Role = std::tuple<QColor, QPalette::ColorRole, QPalette::ColorRole>;
    for (const auto& [background, under, text] :
         {Role{colours.meets, QPalette::Base, QPalette::Text},
          Role{colours.fired, QPalette::Base, QPalette::Text},
          Role{colours.difference, QPalette::Base, QPalette::Text},
          Role{colours.most_differing, QPalette::Base, QPalette::Text},
          Role{colours.recv_header, QPalette::Button, QPalette::ButtonText},
          Role{colours.send_header, QPalette::Button, QPalette::ButtonText}}) {
        SCOPED_TRACE(background.name().toStdString());
        EXPECT_GE(contrast_ratio(background, shown_.color(text)), kReadableContrast);
        EXPECT_GE(distance(background, shown_.color(under)), kSeen);
    }
    EXPECT_GE(distance(colours.fired, colours.meets), kSeen);
    EXPECT_GE(distance(colours.fired, colours.difference), kSeen);
    EXPECT_GE(distance(colours.meets, colours.difference), kSeen);
    EXPECT_GE(distance(colours.recv_header, colours.send_header), kSeen);
    // Dimmer than the text, yet readable.
    EXPECT_GE(contrast_ratio(colours.never_written, shown_.color(QPalette::Base)),
              kReadableContrast);
    EXPECT_GE(distance(colours.never_written, shown_.color(QPalette::Text)), kSeen);
}

TEST_P(MarkColoursUnder, TheScaleGoesFromTheBaseToTheMostDifferingReadably)
{
    const QColor base = shown_.color(QPalette::Base);
    EXPECT_EQ(scale_colour(shown_, 0), base);
    EXPECT_EQ(scale_colour(shown_, 1), mark_colours(shown_).most_differing);
    double farther = 0;
    for (int tenth = 1; tenth <= 10; ++tenth) {
        SCOPED_TRACE(tenth);
        // The fewest still seen, more ever stronger; the count drawn on it reads.
        const QColor step = scale_colour(shown_, tenth / 10.0);
        EXPECT_GT(distance(step, base), std::max(farther, kSeen));
        farther = distance(step, base);
        EXPECT_GE(contrast_ratio(step, shown_.color(QPalette::Text)), kReadableContrast);
    }
}

INSTANTIATE_TEST_SUITE_P(Palettes, MarkColoursUnder, ::testing::Values("light", "dark"));

class MarkColoursInUse : public ::testing::Test {
protected:
    ~MarkColoursInUse() override { QApplication::setPalette(before_); }

private:
    const QPalette before_ = QApplication::palette();
};

TEST_F(MarkColoursInUse, TheLogTableFollowsTheApplicationsPalette)
{
    // Fired at record 177 (count 5, Send[2] & 0x0F = 0x01), records 183-255
    // never written.
    quillon::LogFile log;
    log.stop_condition = quillon::FileStopCondition{quillon::Direction::Send, 2, 0x0F, 0x01, 5};
    for (std::size_t i = 0; i < 183; ++i) {
        log.records[i].fill(0xAA);
        log.records[i][18] = std::uint8_t(i % 16);
    }
    const LogTableModel table(log);
    ASSERT_EQ(table.Timeline().fired, 177);
    const auto shown = [&](int row, int role) { return table.data(table.index(row, 0), role); };

    QApplication::setPalette(dark_palette());
    const MarkColours dark = mark_colours(dark_palette());
    EXPECT_EQ(shown(177, Qt::BackgroundRole), QVariant(dark.fired));
    EXPECT_EQ(shown(183, Qt::ForegroundRole), QVariant(dark.never_written));
    EXPECT_EQ(table.headerData(table.ByteColumn(16), Qt::Horizontal, Qt::BackgroundRole),
              QVariant(QBrush(dark.send_header)));

    // A palette changed while shown gives its colours.
    QApplication::setPalette(light_palette());
    EXPECT_EQ(shown(177, Qt::BackgroundRole), QVariant(mark_colours(light_palette()).fired));
}

TEST_F(MarkColoursInUse, TheByteStripTakesItsScaleFromItsPalette)
{
    ByteCountStrip strip;
    strip.setPalette(dark_palette());
    std::array<int, ByteCountStrip::kCells> counts{};
    counts[3] = 4;
    strip.SetCounts(counts);
    EXPECT_EQ(strip.CellColor(3), mark_colours(dark_palette()).most_differing);
    EXPECT_EQ(strip.CellColor(0), dark_palette().color(QPalette::Base));
}

}  // namespace
