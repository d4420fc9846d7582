#include "widgets/MenuCaption.h"

#include <QAction>
#include <gtest/gtest.h>

namespace nimbora {
namespace {

TEST(MenuCaption, AmpersandsShowAsWritten) {
    struct Case {
        std::string Text;
        QString Caption;
    };
    const Case cases[] = {
        {"Weather radar", "Weather radar"},
        {"R&D page", "R&&D page"},
        {"&&&", "&&&&&&"},
        {"&", "&&"},
        {"Pr\xC3\xA9visions & m\xC3\xA9t\xC3\xA9o", QString::fromUtf8("Prévisions && météo")},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MenuCaption(c.Text), c.Caption) << c.Text;
    // What the menu shows: the text without mnemonic marks.
    QAction action(MenuCaption("R&D page"));
    EXPECT_EQ(action.iconText(), "R&D page");
}

} // namespace
} // namespace nimbora
