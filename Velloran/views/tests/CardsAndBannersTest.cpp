// The prompt card, the chips, the toast and the sync banner: what they show and what they call.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "Velloran/ui/Chips.h"
#include "Velloran/ui/ElidedLabel.h"
#include "Velloran/ui/Symbols.h"
#include "Velloran/ui/SystemColors.h"
#include "Velloran/ui/TextStyles.h"
#include "Velloran/ui/WindowGradient.h"
#include "Velloran/ui/testing/Screenshot.h"
#include "Velloran/ui/testing/WidgetChecks.h"
#include "Velloran/views/Banners.h"
#include "Velloran/views/PromptRow.h"
#include "platform/time/ManualClock.h"

namespace velloran {
namespace {

using namespace std::chrono_literals;

platform::UUID uuidOf(const char* text) {
  return *platform::UUID::fromString(text);
}

Prompt cardPrompt(std::string title, std::vector<std::string> versions, std::vector<std::string> tags = {},
                  PromptType type = PromptType::system) {
  Prompt prompt;
  prompt.id = platform::UUID::random();
  prompt.title = std::move(title);
  prompt.type = type;
  prompt.tags = std::move(tags);
  prompt.isSystem = type == PromptType::system;
  prompt.createdAt = platform::ManualClock::kDefaultStart;
  prompt.updatedAt = platform::Date{platform::ManualClock::kDefaultStart.secondsSinceReferenceDate - 300};
  std::int64_t number = 1;
  for (std::string& content : versions) {
    prompt.versions.push_back(PromptVersion{platform::UUID::random(), prompt.id, std::move(content), "",
                                            number++, prompt.createdAt});
  }
  return prompt;
}

SharedPrompt shared(Prompt prompt) {
  return std::make_shared<const Prompt>(std::move(prompt));
}

class PromptRowTest : public ::testing::Test {
 protected:
  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>();
  std::vector<std::string> calls_;

  PromptRowActions recordingActions() {
    return {[this] { calls_.push_back("copy"); }, [this] { calls_.push_back("chat"); },
            [this] { calls_.push_back("edit"); }, [this] { calls_.push_back("delete"); }};
  }

  MetaChip* pill(PromptRow& row, const char* symbol) {
    for (MetaChip* chip : row.findChildren<MetaChip*>()) {
      if (chip->systemImage() == QLatin1String(symbol)) return chip;
    }
    return nullptr;
  }
};

TEST_F(PromptRowTest, TheObjectNameCarriesTheUpperCaseId) {
  Prompt prompt = cardPrompt("Titel", {"Text"});
  prompt.id = uuidOf("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
  PromptRow row(shared(prompt), {}, clock_);
  EXPECT_EQ(row.objectName(), QStringLiteral("promptRow_E621E1F8-C36C-495A-93FC-0C247A3E6E5F"));
}

TEST_F(PromptRowTest, PillsShowTheTypeAndTheNewestVersionNumber) {
  Prompt prompt = cardPrompt("Rolle", {}, {}, PromptType::customRole);
  PromptRow row(shared(prompt), {}, clock_);
  ASSERT_NE(pill(row, "bolt.fill"), nullptr);
  EXPECT_EQ(pill(row, "bolt.fill")->label(), QStringLiteral("Custom Role"));
  EXPECT_EQ(pill(row, "clock.arrow.circlepath")->label(), QStringLiteral("v1"));

  Prompt versioned = cardPrompt("Rolle", {"a", "b", "c"}, {}, PromptType::user);
  versioned.versions.back().versionNumber = 12;
  row.setPrompt(shared(versioned));
  EXPECT_EQ(pill(row, "bolt.fill")->label(), QStringLiteral("User"));
  EXPECT_EQ(pill(row, "clock.arrow.circlepath")->label(), QStringLiteral("v12"));
}

TEST_F(PromptRowTest, APreviewAndATagRowAppearOnlyWithSomethingToShow) {
  const int bare = PromptRow::heightFor(cardPrompt("Titel", {"  \n "}), 300);
  EXPECT_EQ(PromptRow::previewText(cardPrompt("Titel", {"  \n "})), QString());
  EXPECT_EQ(PromptRow::previewText(cardPrompt("Titel", {})), QString());
  EXPECT_EQ(PromptRow::previewText(cardPrompt("Titel", {"alt", "  neu \n"})), QStringLiteral("neu"));

  EXPECT_GT(PromptRow::heightFor(cardPrompt("Titel", {"Text"}), 300), bare);
  EXPECT_GT(PromptRow::heightFor(cardPrompt("Titel", {"  "}, {"tag"}), 300), bare);
  EXPECT_EQ(PromptRow::heightFor(cardPrompt("Titel", {}), 300), bare);
}

TEST_F(PromptRowTest, TheCardIsAsTallAsItsPrecomputedHeightAndPlacesItsPartsInside) {
  const Prompt prompt = cardPrompt(
      "Ein sehr langer Titel, der auf keinen Fall in eine einzige Zeile passen wird, nicht einmal in zwei",
      {"Erste Zeile\nZweite Zeile\nDritte Zeile\nVierte Zeile"}, {"a", "b"});
  PromptRow row(shared(prompt), {}, clock_);
  row.resize(240, PromptRow::heightFor(prompt, 240));
  row.show();
  EXPECT_EQ(row.heightForWidth(240), PromptRow::heightFor(prompt, 240));
  for (QWidget* part : row.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (!part->isVisibleTo(&row) || part->testAttribute(Qt::WA_TransparentForMouseEvents)) continue;
    EXPECT_TRUE(row.rect().contains(part->geometry())) << part->metaObject()->className();
  }
  // Title: two lines at most, the second ending in an ellipsis.
  const QStringList title =
      ElidedLabel::linesFor(QString::fromStdString(prompt.title), textFont(TextStyle::headline), 2, 212);
  ASSERT_EQ(title.size(), 2);
  EXPECT_TRUE(title.back().endsWith(QChar(0x2026)));
}

// A narrow card cuts the time and, when even they lack room, the pills with "…", all inside the
// card, instead of a row that reaches past the card's edge and is cut off mid-word there.
TEST_F(PromptRowTest, ANarrowCardCutsItsTimeAndPillsWithAnEllipsis) {
  Prompt prompt = cardPrompt("Rolle", {"Text"}, {}, PromptType::customRole);
  prompt.versions.back().versionNumber = 12;
  prompt.updatedAt = platform::Date{platform::ManualClock::kDefaultStart.secondsSinceReferenceDate - 150};
  PromptRow row(shared(prompt), {}, clock_);
  auto* time = row.findChild<ElidedLabel*>(QStringLiteral("relativeTime"));
  ASSERT_NE(time, nullptr);
  EXPECT_EQ(time->text(), QStringLiteral("vor 2 Minuten"));
  const QWidget* strip = row.findChildren<QScrollArea*>().front()->viewport();
  // From cards narrower than the narrowest window has to a roomy one.
  for (int width : {180, 200, 220, 240, 400}) {
    row.resize(width, PromptRow::heightFor(prompt, width));
    row.show();
    QApplication::processEvents();
    const auto inStrip = [strip](const QWidget* part) {
      return strip->rect().contains(QRect(part->mapTo(strip, QPoint(0, 0)), part->size()));
    };
    EXPECT_TRUE(inStrip(time)) << width << ": the time reaches past the card";
    const QStringList lines = ElidedLabel::linesFor(time->text(), time->font(), 1, time->width());
    ASSERT_EQ(lines.size(), 1) << width;
    EXPECT_TRUE(lines.front() == time->text() || lines.front().endsWith(QChar(0x2026)))
        << width << ": shown as \"" << lines.front().toStdString() << "\"";
    for (const char* symbol : {"bolt.fill", "clock.arrow.circlepath"}) {
      EXPECT_TRUE(inStrip(pill(row, symbol))) << width << ": " << symbol;
      EXPECT_GE(pill(row, symbol)->width(), pill(row, symbol)->minimumSizeHint().width()) << width;
    }
  }
  EXPECT_EQ(time->width(), time->sizeHint().width()) << "with room the whole time shows";

  // In a card of the narrowest window (720 px: three cards of 220) the time is cut, and only the time.
  Prompt system = prompt;
  system.type = PromptType::system;
  row.setPrompt(shared(system));
  row.resize(220, PromptRow::heightFor(system, 220));
  QApplication::processEvents();
  EXPECT_LT(time->width(), time->sizeHint().width());
  for (const char* symbol : {"bolt.fill", "clock.arrow.circlepath"})
    EXPECT_EQ(pill(row, symbol)->width(), pill(row, symbol)->sizeHint().width()) << symbol;
}

// The card is drawn from a kept picture: every change of what it shows reaches the screen, and
// nothing else makes it look different.
TEST_F(PromptRowTest, TheCardShowsEveryChangeAndOnlyThose) {
  const Prompt prompt = cardPrompt("Titel", {"Text"}, {"eins", "zwei", "drei", "vier", "fünf", "sechs"});
  auto* holder = new QWidget;
  std::unique_ptr<QWidget> window(holder);
  auto* row = new PromptRow(shared(prompt), {}, clock_, holder);
  row->setGeometry(0, 0, 240, PromptRow::heightFor(prompt, 240));
  window->resize(260, 400);
  window->show();
  const QImage shown = row->grab().toImage();

  row->hide();
  row->show();
  EXPECT_EQ(row->grab().toImage(), shown) << "showing the card again changes nothing";

  Prompt retitled = prompt;
  retitled.title = "Neuer Titel";
  row->setPrompt(shared(retitled));
  EXPECT_NE(row->grab().toImage(), shown);
  row->setPrompt(shared(prompt));
  EXPECT_EQ(row->grab().toImage(), shown);

  clock_->advance(std::chrono::hours(30));
  row->refreshRelativeTime();
  const QImage later = row->grab().toImage();
  EXPECT_NE(later, shown) << "the relative time moved on";

  auto* tags = row->findChildren<QScrollArea*>().back();
  tags->horizontalScrollBar()->setValue(tags->horizontalScrollBar()->maximum());
  ASSERT_GT(tags->horizontalScrollBar()->value(), 0) << "the tags overflow their strip";
  EXPECT_NE(row->grab().toImage(), later) << "the tags scrolled";
}

TEST_F(PromptRowTest, TheMenuOffersChatEditAndDeleteInThatOrder) {
  PromptRow row(shared(cardPrompt("Titel", {"Text"})), recordingActions(), clock_);
  std::unique_ptr<QMenu> menu(row.makeActionMenu(nullptr));
  const QList<QAction*> entries = menu->actions();
  ASSERT_EQ(entries.size(), 3);
  EXPECT_EQ(entries[0]->objectName(), QStringLiteral("promptRowChatGPTButton"));
  EXPECT_EQ(entries[0]->text(), QStringLiteral("ChatGPT"));
  EXPECT_EQ(entries[1]->objectName(), QStringLiteral("promptRowEditButton"));
  EXPECT_EQ(entries[1]->text(), QStringLiteral("Bearbeiten"));
  EXPECT_EQ(entries[2]->objectName(), QStringLiteral("promptRowDeleteButton"));
  EXPECT_EQ(entries[2]->text(), QString::fromUtf8("Löschen"));
  for (QAction* entry : entries) entry->trigger();
  EXPECT_EQ(calls_, (std::vector<std::string>{"chat", "edit", "delete"}));
}

TEST_F(PromptRowTest, ARightClickOpensTheMenuOfTheThreeActions) {
  PromptRow row(shared(cardPrompt("Titel", {"Text"})), recordingActions(), clock_);
  row.resize(260, row.heightForWidth(260));
  row.show();
  QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(20, 20), row.mapToGlobal(QPoint(20, 20)));
  QApplication::sendEvent(&row, &click);
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->actions().size(), 3);
  menu->actions().at(1)->trigger();
  menu->close();
  EXPECT_EQ(calls_, std::vector<std::string>{"edit"});
}

TEST_F(PromptRowTest, AccessibilityActionsCopyOpenTheChatAndEdit) {
  PromptRow row(shared(cardPrompt("Titel", {"Text"})), recordingActions(), clock_);
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&row);
  ASSERT_NE(accessible, nullptr);
  QAccessibleActionInterface* actions = accessible->actionInterface();
  ASSERT_NE(actions, nullptr);
  EXPECT_EQ(actions->actionNames(),
            (QStringList{QStringLiteral("Prompt kopieren"), QString::fromUtf8("In ChatGPT öffnen"),
                         QStringLiteral("Prompt bearbeiten")}));
  for (const QString& name : actions->actionNames()) actions->doAction(name);
  EXPECT_EQ(calls_, (std::vector<std::string>{"copy", "chat", "edit"}));
  EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Titel"));
}

TEST_F(PromptRowTest, AGridOfCardsLooksRight) {
  GradientBackground window;
  window.resize(860, 420);
  auto* grid = new QGridLayout(&window);
  grid->setContentsMargins(16, 16, 16, 16);
  grid->setHorizontalSpacing(14);
  grid->setVerticalSpacing(16);
  const std::vector<Prompt> prompts = {
      cardPrompt("Code-Review",
                 {"Prüfe den folgenden Code auf Fehler, Sicherheitslücken und Stil. Antworte knapp."},
                 {"review", "code", "safety"}),
      cardPrompt("<b>Synchronisierter</b> Titel & mehr", {}, {}, PromptType::customRole),
      cardPrompt("Übersetzer", {"v1", "Übersetze ins Englische.\nBehalte Fachbegriffe bei."}, {"sprache"},
                 PromptType::user),
      cardPrompt("Leer", {"   "}),
      cardPrompt("Viele Tags", {"Kurzer Text"}, {"eins", "zwei", "drei", "vier", "fünf", "sechs", "sieben"}),
  };
  for (std::size_t index = 0; index < prompts.size(); ++index) {
    auto* row = new PromptRow(shared(prompts[index]), {}, clock_, &window);
    grid->addWidget(row, static_cast<int>(index / 3), static_cast<int>(index % 3), Qt::AlignTop);
  }
  grid->setRowStretch(2, 1);
  testing::saveScreenshot(window);

  EXPECT_TRUE(testing::nothingClipped(window));
  const QList<PromptRow*> rows = window.findChildren<PromptRow*>();
  ASSERT_EQ(rows.size(), 5);
  for (qsizetype a = 0; a < rows.size(); ++a) {
    ASSERT_TRUE(rows[a]->isVisible());
    EXPECT_TRUE(window.rect().contains(rows[a]->geometry())) << "card " << a << " leaves the window";
    for (qsizetype b = a + 1; b < rows.size(); ++b) {
      EXPECT_FALSE(rows[a]->geometry().intersects(rows[b]->geometry())) << "cards " << a << " and " << b;
    }
  }
  const QStringList texts = testing::visibleTexts(window);
  for (const char* title :
       {"Code-Review", "<b>Synchronisierter</b> Titel & mehr", "Übersetzer", "Viele Tags"}) {
    EXPECT_TRUE(texts.contains(QString::fromUtf8(title))) << title << " is not shown as written";
  }
}

TEST(ElidedLabelTest, LimitsTheLinesAndEndsTheLastWithAnEllipsis) {
  const QFont font = textFont(TextStyle::body);
  EXPECT_TRUE(ElidedLabel::linesFor(QString(), font, 3, 100).isEmpty());
  const QStringList lines = ElidedLabel::linesFor(QStringLiteral("eins\nzwei\ndrei\nvier"), font, 3, 400);
  EXPECT_EQ(lines,
            (QStringList{QStringLiteral("eins"), QStringLiteral("zwei"), QString::fromUtf8("drei\u2026")}))
      << "the fourth line is not joined onto the third; the third says more follows";
  EXPECT_EQ(ElidedLabel::linesFor(QStringLiteral("eins\nzwei\ndrei"), font, 3, 400),
            (QStringList{QStringLiteral("eins"), QStringLiteral("zwei"), QStringLiteral("drei")}))
      << "no ellipsis when nothing follows";
  const QString longWord = QString(60, QLatin1Char('w'));
  const QStringList wrapped = ElidedLabel::linesFor(QStringLiteral("eins ") + longWord, font, 1, 100);
  ASSERT_EQ(wrapped.size(), 1);
  EXPECT_TRUE(wrapped.front().endsWith(QChar(0x2026)));
  EXPECT_LE(QFontMetrics(font).horizontalAdvance(wrapped.front()), 100);
  const QStringList cut = ElidedLabel::linesFor(QStringLiteral("eins\nzwei\ndrei\nvier"), font, 2,
                                                QFontMetrics(font).horizontalAdvance("zwei dr"));
  ASSERT_EQ(cut.size(), 2);
  EXPECT_TRUE(cut.back().endsWith(QChar(0x2026))) << cut.back().toStdString();
  EXPECT_EQ(ElidedLabel::linesFor(QStringLiteral("a\nb\nc\nd\ne"), font, 0, 400).size(), 5);
}

TEST(SyncBannerViewTest, AnErrorShowsTheRedTriangleOtherwiseTheBlueArrows) {
  SyncBannerView banner;
  banner.setBanner(SyncBanner{"Sync-Fehler: Kein iCloud Account", true});
  EXPECT_EQ(banner.symbol()->property("systemImage").toString(),
            QStringLiteral("exclamationmark.triangle.fill"));
  EXPECT_EQ(banner.symbol()->color(), destructiveRedColor());
  EXPECT_EQ(banner.message(), QStringLiteral("Sync-Fehler: Kein iCloud Account"));

  banner.setBanner(SyncBanner{"<i>Synchronisiert</i>", false});
  EXPECT_EQ(banner.symbol()->property("systemImage").toString(),
            QStringLiteral("arrow.triangle.2.circlepath"));
  EXPECT_EQ(banner.symbol()->color(), accentBlueColor());
  EXPECT_EQ(banner.message(), QStringLiteral("<i>Synchronisiert</i>"));
}

TEST(ToastBannerTest, GrowsWithItsTextUpToTheWidthItIsGivenThenWraps) {
  ToastBanner toast;
  EXPECT_EQ(toast.objectName(), QStringLiteral("copiedToast"));
  toast.setText(QStringLiteral("Prompt kopiert: Kurz"));
  const QSize shortSize = toast.sizeFor(600);
  toast.setText(
      QStringLiteral("Prompt kopiert: ein Titel, der deutlich länger ist als der Platz, den der Toast hat"));
  const QSize longSize = toast.sizeFor(300);
  EXPECT_LE(longSize.width(), 300);
  EXPECT_GT(longSize.height(), shortSize.height());
}

TEST(SymbolsTest, EverySymbolPaintsInsideItsSquare) {
  const QStringList names = knownSymbolNames();
  EXPECT_GE(names.size(), 20);
  GradientBackground sheet;
  sheet.resize(44 * 8, 44 * ((names.size() + 7) / 8));
  auto* grid = new QGridLayout(&sheet);
  for (qsizetype index = 0; index < names.size(); ++index) {
    QImage image(24, 24, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintSymbol(painter, QRectF(0, 0, 24, 24), names[index], Qt::black);
    painter.end();
    int inked = 0;
    for (int y = 0; y < 24; ++y) {
      for (int x = 0; x < 24; ++x) inked += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
    }
    EXPECT_GT(inked, 20) << names[index].toStdString();
    EXPECT_LT(inked, 24 * 24 * 3 / 4) << names[index].toStdString();
    grid->addWidget(new SymbolView(names[index], 28, primaryLabelColor()), static_cast<int>(index / 8),
                    static_cast<int>(index % 8));
  }
  EXPECT_THROW(symbolIcon(QStringLiteral("no.such.symbol"), Qt::black), std::exception);
  testing::saveScreenshot(sheet);
}

}  // namespace
}  // namespace velloran
