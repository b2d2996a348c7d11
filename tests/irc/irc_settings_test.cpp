#include "irc/irc_settings.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace larkspan::irc {
namespace {

using platform::FieldText;

TEST(IrcSettings, AcceptCutsTheTextsToTheirFieldsAndRefusesABadColour) {
  const schedule::ProfileSettings defaults;
  IrcSettingsForm form = IrcSettingsFormOf(defaults);
  EXPECT_EQ(form.textColour, "3");
  form.serverName = std::string(40, 's');
  form.nickname = std::string(20, 'n');
  form.channel = "#" + std::string(30, 'c');
  form.userId = std::string(16, 'u');
  form.autoPosting = form.updateTopic = true;
  form.textColour = "255";

  for (const char* refused : {"300", "-1", "", "12a", "0x3", " 4"}) {
    IrcSettingsForm bad = form;
    bad.textColour = refused;
    schedule::ProfileSettings settings;
    EXPECT_FALSE(StoreIrcSettings(bad, settings)) << refused;
    EXPECT_EQ(FieldText(settings.ircServer), "null") << "nothing is stored";
    EXPECT_EQ(settings.ircTextColour, 3);
  }

  schedule::ProfileSettings settings;
  ASSERT_TRUE(StoreIrcSettings(form, settings));
  EXPECT_EQ(FieldText(settings.ircServer), std::string(31, 's'));
  EXPECT_EQ(FieldText(settings.ircNickname), std::string(15, 'n'));
  EXPECT_EQ(FieldText(settings.ircChannel), "#" + std::string(22, 'c'));
  EXPECT_EQ(FieldText(settings.ircUserId), std::string(15, 'u'));
  EXPECT_EQ(settings.ircTextColour, 255);
  EXPECT_EQ(settings.ircAutoPost, 1);
  EXPECT_EQ(settings.chatterMode, 0);
  EXPECT_EQ(settings.ircUpdateTopic, 1);
  EXPECT_EQ(IrcSettingsFormOf(settings).serverName, std::string(31, 's'));
}

}  // namespace
}  // namespace larkspan::irc
