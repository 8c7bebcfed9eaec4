#include <gtest/gtest.h>

#include <string>

#include "platform/ini_file.h"
#include "test_dir.h"

namespace upwend {
namespace {

TEST(IniFileTest, ReadsWithThePrivateProfileRules) {
  IniFile ini = IniFile::FromText(
      "; comment\r\n"
      "orphan=before any section\r\n"
      "[Project]\r\n"
      "  Caption  =   Upwend  Tool   \r\n"
      "Quoted=\"  spaced  \"\r\n"
      "Half=\"open\r\n"
      "Empty=\r\n"
      "NoEquals\r\n"
      "Dup=first\r\n"
      "dup=second\r\n"
      "[ project ]\r\n"
      "Caption=from the duplicate section\r\n"
      "Extra=only in the duplicate\r\n");
  EXPECT_EQ(ini.ReadString("PROJECT", "caption", "x"), "Upwend  Tool");
  EXPECT_EQ(ini.ReadString("Project", "Quoted", "x"), "  spaced  ");
  EXPECT_EQ(ini.ReadString("Project", "Half", "x"), "\"open");
  EXPECT_EQ(ini.ReadString("Project", "Empty", "x"), "");
  EXPECT_EQ(ini.ReadString("Project", "NoEquals", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("Project", "Dup", "x"), "first");
  // The first section of a name is the one that counts.
  EXPECT_EQ(ini.ReadString("Project", "Extra", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("Nowhere", "orphan", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("Missing", "Caption", "dflt"), "dflt");
}

TEST(IniFileTest, IntegersFallBackToTheDefaultWhenNotANumber) {
  IniFile ini = IniFile::FromText(
      "[S]\nA=12\nB= -7 \nC=abc\nD=12abc\nE=\nF=0x1F\nG=$10\nH=99999999999\nI=\"5\"\nJ=+3\nK=-\n");
  EXPECT_EQ(ini.ReadInteger("S", "A", 0), 12);
  EXPECT_EQ(ini.ReadInteger("S", "B", 0), -7);
  EXPECT_EQ(ini.ReadInteger("S", "C", 4), 4);
  EXPECT_EQ(ini.ReadInteger("S", "D", 4), 4);
  EXPECT_EQ(ini.ReadInteger("S", "E", 4), 4);
  EXPECT_EQ(ini.ReadInteger("S", "F", 0), 31);
  EXPECT_EQ(ini.ReadInteger("S", "G", 0), 16);
  EXPECT_EQ(ini.ReadInteger("S", "H", 4), 4);
  EXPECT_EQ(ini.ReadInteger("S", "I", 0), 5);
  EXPECT_EQ(ini.ReadInteger("S", "J", 0), 3);
  EXPECT_EQ(ini.ReadInteger("S", "K", 4), 4);
  EXPECT_EQ(ini.ReadInteger("S", "Missing", 1024), 1024);
}

TEST(IniFileTest, WritesInPlaceAppendsKeysToTheirSectionAndSectionsAtTheEnd) {
  IniFile ini = IniFile::FromText("; keep me\n[A]\nx = 1\n\n[B]\ny=2\n");
  ini.WriteString("a", "X", "10");
  ini.WriteString("A", "z", "3");
  ini.WriteString("C", "w", "4");
  ini.WriteInteger("B", "n", -5);
  EXPECT_EQ(ini.ToText(), "; keep me\n[A]\nX=10\nz=3\n\n[B]\ny=2\nn=-5\n[C]\nw=4\n");
  EXPECT_TRUE(ini.DeleteKey("b", "Y"));
  EXPECT_FALSE(ini.DeleteKey("b", "Y"));
  EXPECT_EQ(ini.ReadString("B", "n", ""), "-5");
  EXPECT_EQ(ini.KeyNames("B"), std::vector<std::string>{"n"});
  EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"A", "B", "C"}));
}

TEST(IniFileTest, WrittenLineBreaksCannotPlantKeysOrSections) {
  IniFile ini;
  ini.WriteString("BACKUP", "SN", "123\r\n[Data]\r\nIMEI=forged");
  EXPECT_FALSE(ini.HasSection("Data"));
  EXPECT_EQ(ini.ReadString("BACKUP", "SN", ""), "123  [Data]  IMEI=forged");
  IniFile reread = IniFile::FromText(ini.ToText());
  EXPECT_FALSE(reread.HasSection("Data"));
}

TEST(IniFileTest, SurvivesHostileInput) {
  // Binary bytes, NUL, lone CRs, a 1 MiB line, a line without "=", 10,000 keys.
  using namespace std::string_literals;
  std::string text = "[Bin]\nk=\x01\x02\xff\x00z\rother=1\r"s;
  text.push_back('\0');
  text += "\n[Big]\nlong=" + std::string(1 << 20, 'x') + "\n" + std::string(1 << 20, 'y') + "\n";
  text += "[Many]\n";
  for (int i = 0; i < 10000; ++i) text += "DL" + std::to_string(i) + "=v" + std::to_string(i) + "\n";
  text += "[Unclosed\nu=1\n";
  IniFile ini = IniFile::FromText(text);
  EXPECT_EQ(ini.ReadString("Bin", "k", "").size(), 5u);
  EXPECT_EQ(ini.ReadInteger("Bin", "other", 0), 1);
  EXPECT_EQ(ini.ReadString("Big", "long", "").size(), size_t{1} << 20);
  EXPECT_EQ(ini.ReadString("Many", "DL9999", ""), "v9999");
  EXPECT_EQ(ini.ReadString("Unclosed", "u", ""), "1");
  // Nothing is lost on a rewrite.
  ini.WriteString("Many", "DL0", "changed");
  IniFile again = IniFile::FromText(ini.ToText());
  EXPECT_EQ(again.ReadString("Big", "long", "").size(), size_t{1} << 20);
  EXPECT_EQ(again.ReadString("Many", "DL0", ""), "changed");
  EXPECT_EQ(again.ReadString("Many", "DL5000", ""), "v5000");
}

TEST(IniFileTest, LoadsAndSavesFiles) {
  std::string dir = testing::FreshTestDir();
  auto missing = IniFile::Load(dir + "/missing.ini");
  ASSERT_TRUE(missing.has_value());
  EXPECT_EQ(missing->ReadString("A", "b", "dflt"), "dflt");
  EXPECT_FALSE(IniFile::Load(dir).has_value());  // a folder is not a file

  IniFile ini = IniFile::FromText("[A]\r\nb=1\r\n");
  ini.WriteString("A", "c", "2");
  ASSERT_TRUE(ini.Save(dir + "/x.ini").has_value());
  auto back = IniFile::Load(dir + "/x.ini");
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->ToText(), "[A]\r\nb=1\r\nc=2\r\n");
}

}  // namespace
}  // namespace upwend
