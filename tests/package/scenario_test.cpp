// The scenario compiler: one small scenario per result code with the line
// where compilation stopped, the value syntax, the section values in the
// description, folder order, the file encodings, and a full two-language
// scenario written as a package and read back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/fileio.h"
#include "base/memio.h"
#include "base/paths.h"
#include "base/strings.h"
#include "package/scenario.h"
#include "tests/support/test_support.h"

namespace {

using twtest::Narrow;
using twtest::U16;

enum class eEncoding { kUtf16LeBom, kUtf16Le, kUtf16Be, kUtf8 };

std::string Encode(const std::u16string& text, eEncoding encoding) {
  std::string out;
  switch (encoding) {
    case eEncoding::kUtf16LeBom: out = "\xFF\xFE"; break;
    case eEncoding::kUtf16Be: out = "\xFE\xFF"; break;
    case eEncoding::kUtf8: {
      _typebuf<char> bytes;
      WideToUtf8Buffer(bytes, static_cast<int32_t>(text.size()), text.c_str());
      return "\xEF\xBB\xBF" + std::string(bytes.data != nullptr ? bytes.data : "", static_cast<size_t>(bytes.count));
    }
    case eEncoding::kUtf16Le: break;
  }
  for (char16_t c : text) {
    const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
    if (encoding == eEncoding::kUtf16Be) {
      out += hi;
      out += lo;
    } else {
      out += lo;
      out += hi;
    }
  }
  return out;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  cFileIO f;
  ASSERT_TRUE(f.Create(U16(path).c_str(), kFileWrite)) << path;
  ASSERT_TRUE(bytes.empty() || f.WriteExact(bytes.data(), static_cast<uint32_t>(bytes.size()))) << path;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::u16string Text(const char16_t* text) { return text != nullptr ? std::u16string(text) : std::u16string(); }
std::string Str(const char16_t* text) { return Narrow(Text(text)); }

std::string Hex(const _typebuf<char>& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (int32_t i = 0; i < bytes.count; ++i) {
    const auto b = static_cast<unsigned char>(bytes.data[i]);
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::vector<char> Written(const cSOPKGDescription& d) {
  cMemIOTarget out;
  EXPECT_TRUE(d.Write(&out));
  _typebuf<char> image;
  EXPECT_TRUE(out.CopyToBuffer(image));
  return std::vector<char>(image.data, image.data + image.count);
}

// A folder with the documents and files the scenarios name: "@D" in a
// scenario text stands for it.
class Scenario : public ::testing::Test {
protected:
  void SetUp() override {
    Put("eula_en.txt", "Licence terms for everybody.");
    Put("eula_de.txt", "Lizenzbedingungen f\xC3\xBCr alle.");
    Put("eula.idx", "eng = \"./eula_en.txt\"\ndeu = \"./eula_de.txt\"\n");
    Put("eula_en.idx", "eng = \"./eula_en.txt\"\n");
    Put("welcome_en.txt", "Welcome to the <b>demo</b>.");
    Put("welcome_de.txt", "Willkommen zur <b>Demo</b>.");
    Put("welcome.idx", "eng = \"./welcome_en.txt\"\ndeu = \"./welcome_de.txt\"\n");
    Put("welcome_en.idx", "eng = \"./welcome_en.txt\"\n");
    Put("readme.idx", "eng = \"./welcome_en.txt\"\ndeu = \"./welcome_de.txt\"\n");
    Put("broken.txt", "one\ntwo <b>three</i>");
    Put("broken.idx", "eng = \"./broken.txt\"\n");
    Put("empty.idx", "eng = \"\"\n");
    Put("program.exe", "MZ not really a program");
    Put("empty.bin", "");
    Put("tree/readme.txt", "r");
    Put("tree/sub/data.bin", "dd");
  }

  std::string P(const std::string& name) const { return dir.path() + "/" + name; }

  void Put(const std::string& name, const std::string& bytes) {
    const std::string path = P(name);
    for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
      CreateDirectoryLong(U16(P(name.substr(0, slash))).c_str());
    WriteBytes(path, bytes);
  }

  // Writes the scenario (UTF-8 text, "@D" replaced) in the encoding and
  // compiles it.
  int Compile(const std::string& text, int& line, eEncoding encoding = eEncoding::kUtf16LeBom,
              sScenarioDocError* error = nullptr) {
    const std::string path = P("scenario" + std::to_string(serial++) + ".txt");
    WriteBytes(path, Encode(U16(Replace(text, "@D", dir.path())), encoding));
    line = 0;
    return CompileScenario(U16(path).c_str(), desc, line, error);
  }

  twtest::TempDir dir;
  cSOPKGDescription desc;
  int serial = 0;
};

// Two languages, a codename and a licence for both: the least that compiles.
const std::string kHead =
    "[General]\n"
    "langs = ENG DEU\n"
    "[Software]\n"
    "codename = \"demo\"\n"
    "eula = \"@D/eula.idx\"\n";  // lines 0 to 4

TEST_F(Scenario, EveryResultCodeWithItsLine) {
  struct Case {
    const char* what;
    std::string text;
    int code;
    int line;
  };
  const std::string longLine(5000, 'a');
  const Case cases[] = {
      {"the least complete scenario", kHead, kScenarioOk, -1},
      {"a header with a comment", "[General]   # c\n" + kHead.substr(10), kScenarioOk, -1},
      {"blank and comment lines", "\n   \n# x\n\t" + kHead, kScenarioOk, -1},
      {"a header in lower case", kHead + "[strings]\n", kScenarioUnknownSection, 5},
      {"a header not closed", kHead + "[Run\n", kScenarioUnknownSection, 5},
      {"text after a header", kHead + "[Strings] x\n", kScenarioTextAfterHeader, 5},
      {"a value line before the first header", "\n# c\nlangs = ENG\n", kScenarioNoSection, 2},
      {"an unknown [General] key", "[General]\nlanguages = ENG\n", kScenarioUnknownKey, 1},
      {"an unknown [Software] key", kHead + "title = \"x\"\n", kScenarioUnknownKey, 5},
      {"a [Software] key without '='", kHead + "name \"x\"\n", kScenarioSyntax, 5},
      {"[General] without '='", "[General]\nlangs ENG\n", kScenarioSyntax, 1},
      {"a shortcut without its icon", kHead + "[Menu]\n\"n\" = $pgm \"a.exe\"\n", kScenarioSyntax, 6},
      {"a shortcut with text after its arguments",
       kHead + "[Menu]\n\"n\" = $pgm \"a.exe\", $pgm \"a.exe\", 1, \"d\", \"a\" x\n", kScenarioSyntax, 6},
      {"a settings type other than t w d q", kHead + "[Settings]\n\"n\" = x, \"1\"\n", kScenarioSyntax, 6},
      {"a settings name not quoted", kHead + "[Settings]\nn = t, \"1\"\n", kScenarioSyntax, 6},
      {"a run entry with a bad flag", kHead + "[Run]\n\"c\" = $pgm \"a.exe\", maybe\n", kScenarioSyntax, 6},
      {"an empty codename to replace", kHead + "[Deprecates]\n\"\" = *\n", kScenarioSyntax, 6},
      {"text after '*'", kHead + "[Deprecates]\n\"old\" = * 1\n", kScenarioSyntax, 6},
      {"an empty number to replace", kHead + "[Deprecates]\n\"old\" = \"\"\n", kScenarioSyntax, 6},
      {"text after the icon", kHead + "icon = $pgm \"a.exe\" x\n", kScenarioSyntax, 5},
      {"an install line without '='", kHead + "[Install]\n\"@D/program.exe\" $pgm \"a\"\n", kScenarioSyntax, 6},
      {"an unclosed quoted value", kHead + "name = \"demo\n", kScenarioBadValue, 5},
      {"a lone backslash at the end", kHead + "name = \"demo\\\n", kScenarioBadValue, 5},
      {"text after a quoted value", kHead + "name = \"demo\" x\n", kScenarioBadValue, 5},
      {"a bad readme flag", kHead + "readme = \"@D/readme.idx\", maybe\n", kScenarioBadValue, 5},
      {"a string without '='", kHead + "[Strings]\nkey \"x\"\n", kScenarioBadValue, 6},
      {"a shortcut name that is no reference", kHead + "[Menu]\nname = $pgm \"a\", $pgm \"a\"\n", kScenarioBadValue, 6},
      {"an undefined $key", kHead + "[Run]\n$nothing = $pgm \"a.exe\"\n", kScenarioBadValue, 6},
      {"a number to replace not quoted", kHead + "[Deprecates]\n\"old\" = 5\n", kScenarioBadValue, 6},
      {"a settings number that is no number", kHead + "[Settings]\n\"n\" = d, \"abc\"\n", kScenarioBadNumber, 6},
      {"a settings number of -1", kHead + "[Settings]\n\"n\" = q, \"-1\"\n", kScenarioBadNumber, 6},
      {"a version to replace over 65535", kHead + "[Deprecates]\n\"old\" = \"65536\"\n", kScenarioBadNumber, 6},
      {"a version to replace below 0", kHead + "[Deprecates]\n\"old\" = \"-2\"\n", kScenarioBadNumber, 6},
      {"a version part over 65535", kHead + "version = \"1.65536\"\n", kScenarioBadNumber, 5},
      {"a large version part", kHead + "version = \"1.2.3.99999999999999\"\n", kScenarioBadNumber, 5},
      {"a negative version part", kHead + "version = \"1.-1\"\n", kScenarioBadNumber, 5},
      {"no languages", "[Software]\ncodename = \"demo\"\n", kScenarioNoLanguage, -1},
      {"an empty langs line", "[General]\nlangs =\n", kScenarioNoLanguage, 1},
      {"no codename", "[General]\nlangs = ENG\n[Software]\neula = \"@D/eula.idx\"\n", kScenarioNoCodename, -1},
      {"no eula", "[General]\nlangs = ENG\n[Software]\ncodename = \"x\"\n", kScenarioNoEula, -1},
      {"an eula for one of two languages",
       "[General]\nlangs = ENG DEU\n[Software]\ncodename = \"x\"\neula = \"@D/eula_en.idx\"\n", kScenarioNoEulaText,
       -1},
      {"a welcome for one of two languages", kHead + "welcome = \"@D/welcome_en.idx\"\n", kScenarioNoWelcomeText, -1},
      {"a readme for one of two languages", kHead + "readme = \"@D/welcome_en.idx\"\n", kScenarioNoReadmeText, -1},
      {"a string in one of two languages", kHead + "[Strings]\nENG.only = \"x\"\n", kScenarioMissingString, -1},
      {"a reference read before the languages are declared",
       "[Run]\n$later = $pgm \"a.exe\"\n" + kHead, kScenarioMissingString, -1},
      {"codes separated by a comma", "[General]\nlangs = ENG,DEU\n", kScenarioBadLanguage, 1},
      {"an unknown code", "[General]\nlangs = ENG XYZ\n", kScenarioBadLanguage, 1},
      {"a comment right after '='", "[General]\nlangs = # none\n", kScenarioBadLanguage, 1},
      {"a lower-case code", "[General]\nlangs = eng\n", kScenarioBadLanguage, 1},
      {"a string for an undeclared language", "[Strings]\nDEU.x = \"y\"\n[General]\nlangs = DEU\n",
       kScenarioBadLanguage, 1},
      {"a '.' after two characters", kHead + "[Strings]\nEN.x = \"y\"\n", kScenarioBadLanguage, 6},
      {"a '.' after four characters", kHead + "[Strings]\nENGL.x = \"y\"\n", kScenarioBadLanguage, 6},
      {"two dots", kHead + "[Strings]\nENG.x.y = \"y\"\n", kScenarioBadLanguage, 6},
      {"an install language not declared", kHead + "[Install]\n\"@D/program.exe\" = $pgm \"a.exe\", , POL\n",
       kScenarioBadLanguage, 6},
      {"text after an install '*'", kHead + "[Install]\n\"@D/program.exe\" = $pgm \"a.exe\", , * ENG\n",
       kScenarioBadLanguage, 6},
      {"an empty string key", kHead + "[Strings]\n = \"y\"\n", kScenarioEmptyKey, 6},
      {"an empty language string key", kHead + "[Strings]\nDEU. = \"y\"\n", kScenarioEmptyKey, 6},
      {"a version of one number", kHead + "version = \"7\"\n", kScenarioShortVersion, 5},
      {"a version that is no number", kHead + "version = \"v1.2\"\n", kScenarioShortVersion, 5},
      {"a missing welcome index", kHead + "welcome = \"@D/nothing.idx\"\n", kScenarioBadWelcome, 5},
      {"a welcome that does not compile", kHead + "welcome = \"@D/broken.idx\"\n", kScenarioBadWelcome, 5},
      {"a welcome the loader refuses", kHead + "welcome = \"@D/empty.idx\"\n", kScenarioBadWelcome, 5},
      {"a readme that does not compile", kHead + "readme = \"@D/broken.idx\", yes\n", kScenarioBadReadme, 5},
      {"an eula that does not compile", "[Software]\neula = \"@D/broken.idx\"\n", kScenarioBadEula, 1},
      {"a line too long", kHead + "# " + longLine + "\n[Strings]\n", kScenarioLineTooLong, 5},
      {"a line too long as the last line", kHead + "name = \"" + longLine + "\"", kScenarioLineTooLong, 5},
      {"an icon without its path", kHead + "icon = \"folder\"\n", kScenarioBadFolderPath, 5},
      {"an icon folder not defined", kHead + "icon = $nothing \"a.exe\"\n", kScenarioBadFolderPath, 5},
      {"an install target without its path", kHead + "[Install]\n\"@D/program.exe\" = $pgm\n",
       kScenarioBadFolderPath, 6},
      {"a shortcut target without its path", kHead + "[Menu]\n\"n\" = $pgm, $pgm \"i\"\n", kScenarioBadFolderPath, 6},
      {"a run program without its path", kHead + "[Run]\n\"c\" = \"a.exe\"\n", kScenarioBadFolderPath, 6},
      {"a platform x86.", kHead + "[Install]\nx86.\"@D/program.exe\" = $pgm \"a.exe\"\n", kScenarioBadPlatform, 6},
      {"an install line without a quote", kHead + "[Install]\n@D/program.exe = $pgm \"a.exe\"\n",
       kScenarioBadInstallStart, 6},
      {"a missing source", kHead + "[Install]\n\"@D/nothing.exe\" = $pgm \"a.exe\"\n", kScenarioBadSource, 6},
      {"an empty source file", kHead + "[Install]\n\"@D/empty.bin\" = $pgm \"e.bin\"\n", kScenarioBadSource, 6},
      {"two access digits", kHead + "[Install]\n\"@D/program.exe\" = $pgm \"a.exe\", 75\n", kScenarioBadAccess, 6},
      {"the access digit 8", kHead + "[Install]\n\"@D/program.exe\" = $pgm \"a.exe\", 855\n", kScenarioBadAccess, 6},
      {"text after the access digits", kHead + "[Install]\n\"@D/program.exe\" = $pgm \"a.exe\", 755 ENG\n",
       kScenarioBadAccess, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int line = 0;
    EXPECT_EQ(Compile(c.text, line), c.code);
    EXPECT_EQ(line, c.line);
  }
  int line = 7;
  EXPECT_EQ(CompileScenario(U16(P("nothing.txt")).c_str(), desc, line), kScenarioCannotRead);
}

TEST_F(Scenario, DocumentErrorRecord) {
  sScenarioDocError error;
  int line = 0;
  ASSERT_EQ(Compile(kHead + "welcome = \"@D/broken.idx\"\n", line, eEncoding::kUtf8, &error), kScenarioBadWelcome);
  EXPECT_EQ(Narrow(error.path), P("broken.txt"));
  EXPECT_EQ(error.line, 1);
  EXPECT_EQ(error.column, 16);
  EXPECT_EQ(Narrow(error.message), "close tag mismatch");

  // A later successful compilation clears the record; a document the loader
  // refuses leaves it empty (there is no compiler message).
  ASSERT_EQ(Compile(kHead, line, eEncoding::kUtf8, &error), kScenarioOk);
  EXPECT_TRUE(error.path.empty());
  ASSERT_EQ(Compile(kHead + "eula = \"@D/empty.idx\"\n", line, eEncoding::kUtf8, &error), kScenarioBadEula);
  EXPECT_TRUE(error.path.empty());
}

TEST(ScenarioValues, QuotedValues) {
  struct Case {
    const char16_t* line;
    bool ok;
    const char16_t* value;
    int32_t end;  // position afterwards
  } cases[] = {
      {u"\"abc\"", true, u"abc", 5},
      {u"  \"a b\"  # c", true, u"a b", 9},
      {u"\"\"", true, u"", 2},
      {u"\"say \\\"hi\\\"\"", true, u"say \"hi\"", 12},
      {u"\"a\\\\b\"", true, u"a\\b", 6},
      {u"\"\\n\"", true, u"n", 4},
      {u"\"a#b\"x", true, u"a#b", 5},
      {u"\"open", false, nullptr, 0},
      {u"\"end\\", false, nullptr, 0},
      {u"\"end\\\"", false, nullptr, 0},
      {u"bare", false, nullptr, 0},
      {u"", false, nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.line));
    int32_t pos = 0;
    _guardchar<char16_t> out;
    EXPECT_EQ(ReadQuoted(c.line, pos, out), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(Text(out.text), Text(c.value));
    EXPECT_EQ(pos, c.end);
  }
  int32_t pos = 0;
  EXPECT_TRUE(SkipEquals(u" \t= x", pos));
  EXPECT_EQ(pos, 4);
  pos = 0;
  EXPECT_FALSE(SkipEquals(u" x = ", pos));
}

TEST(ScenarioValues, LiteralsGetOneKeyPerText) {
  cSOPKGDescription desc;
  _guardchar<char16_t> key;
  const char16_t* texts[] = {u"\"first\"", u"\"second\"", u" \"first\" ", u"\"\"", u"\"second\""};
  const char16_t* keys[] = {u".0000", u".0001", u".0000", u".0002", u".0001"};
  for (int i = 0; i < 5; ++i) {
    int32_t pos = 0;
    ASSERT_TRUE(ReadReference(desc, texts[i], pos, key)) << i;
    EXPECT_EQ(Text(key.text), Text(keys[i])) << i;
    EXPECT_EQ(pos, WideLength(texts[i])) << i;
  }
  EXPECT_EQ(desc.literalCounter, 3);
  EXPECT_EQ(Str(desc.GetString(u".0000")), "first");
  EXPECT_EQ(Str(desc.GetString(u".0001")), "second");
  EXPECT_STREQ(Str(desc.GetString(u".0002")).c_str(), "");
  EXPECT_EQ(desc.GetString(u".0003"), nullptr);
}

TEST(ScenarioValues, KeyReferences) {
  cSOPKGDescription desc;
  const auto put = [](tPkgStringTable& table, const char16_t* key, const char16_t* value) {
    cPackedKey k;
    k.FromWide(key, -1);
    table.FindOrInsert(std::move(k))->Assign(value);
  };
  put(*desc.LanguageTable(0), u"both", u"en");
  put(*desc.LanguageTable(2), u"both", u"de");
  put(*desc.LanguageTable(0), u"enonly", u"en");
  put(desc.commonTable, u"common", u"c");
  struct Case {
    const char16_t* line;
    bool ok;
    const char16_t* key;
    int32_t end;
  } cases[] = {
      {u"$both", true, u"both", 5},
      {u"$common \"x\"", true, u"common", 8},
      {u"$pgm,", true, u"pgm", 4},
      {u"$common=", true, u"common", 7},
      {u"$enonly", false, nullptr, 0},  // defined in one of two languages
      {u"$", false, nullptr, 0},
      {u"$ both", false, nullptr, 0},
      {u"$.0000", false, nullptr, 0},
      {u"both", false, nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.line));
    int32_t pos = 0;
    _guardchar<char16_t> key;
    EXPECT_EQ(ReadReference(desc, c.line, pos, key), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(Text(key.text), Text(c.key));
    EXPECT_EQ(pos, c.end);
  }
  _guardchar<char16_t> folder, path;
  int32_t pos = 0;
  EXPECT_TRUE(ReadFolderPath(desc, u"$pgm  \"bin/a.exe\" ,", pos, folder, path));
  EXPECT_EQ(Text(folder.text), u"pgm");
  EXPECT_EQ(Text(path.text), u"bin/a.exe");
  EXPECT_EQ(pos, 18);
  pos = 0;
  EXPECT_FALSE(ReadFolderPath(desc, u"$pgm bin", pos, folder, path));
}

TEST_F(Scenario, SectionValues) {
  int line = 0;
  const std::string text = kHead +
                           "version = \"3.1\"\n"
                           "version = \"4. 5.6\"\n"
                           "name = \"A \\\"quoted\\\" name\"  # comment\n"
                           "support_URL = \"https://example.com/s\"\n"
                           "readme = \"@D/readme.idx\", no\n"
                           "readme = \"@D/readme.idx\" , yes # read it\n"
                           "[Strings]\n"
                           "ENG.title = \"Title\"\n"
                           "DEU.title = \"Titel\"\n"
                           "title2=\"T2\"\n"
                           "[Settings]\n"
                           "\"q\" = q, \"0x10\"\n"
                           "\"d\" = d, \"258\"\n"
                           "\"w\" = w, \"0x203\"\n"
                           "\"t\" = t, \"\xC3\xA9t\xC3\xA9\"\n"
                           "\"e\" = t, \"\"\n"
                           "[Deprecates]\n"
                           "\"old\" = \"65535\"\n"
                           "\"older\" = *\n"
                           "\"oldest\" = \"12\" anything\n"
                           "[Run]\n"
                           "$title = $pgm \"a.exe\"\n"
                           "\"Go\" = $pgm \"b.exe\", yes, \"-x\"\n"
                           "\"No\" = $pgm \"c.exe\", no\n"
                           "[Menu]\n"
                           "$title = $pgm \"a.exe\", $pgm \"a.ico\"\n"
                           "\"Admin\" = $pgm \"b.exe\", \"C:/icons\" \"b.ico\", 1, \"Desc\", \"--admin\"\n"
                           "\"Plain\" = $pgm \"c.exe\", $pgm \"c.ico\", , $title\n"
                           "[General]\n"
                           "langs = ENG\n";
  ASSERT_EQ(Compile(text, line), kScenarioOk);
  EXPECT_EQ(desc.version[0], 4u);
  EXPECT_EQ(desc.version[1], 5u);
  EXPECT_EQ(desc.version[2], 6u);
  EXPECT_EQ(desc.version[3], 0u);
  EXPECT_EQ(Str(desc.GetString(u"name")), "A \"quoted\" name");
  EXPECT_EQ(Str(desc.support_URL.text), "https://example.com/s");
  EXPECT_EQ(desc.readmeConfirm, 1);
  EXPECT_EQ(desc.currentLanguage, 0);
  EXPECT_EQ(Str(desc.GetString(u"title")), "Title");
  ASSERT_TRUE(desc.SelectLanguage(2));
  EXPECT_EQ(Str(desc.GetString(u"title")), "Titel");
  EXPECT_EQ(Str(desc.GetString(u"title2")), "T2");

  std::vector<std::pair<std::string, std::string>> settings;
  for (auto* n = desc.settings.head; n != nullptr; n = n->next)
    settings.emplace_back(n->value.name.text, Hex(n->value.value));
  const std::vector<std::pair<std::string, std::string>> wantSettings = {
      {"q", "1000000000000000"}, {"d", "02010000"}, {"w", "0302"}, {"t", "C3A974C3A9"}, {"e", ""}};
  EXPECT_EQ(settings, wantSettings);

  std::vector<std::pair<std::string, int>> deprecates;
  for (auto* n = desc.deprecatedList.head; n != nullptr; n = n->next)
    deprecates.emplace_back(Str(n->value.codename.text), n->value.version);
  const std::vector<std::pair<std::string, int>> wantDeprecates = {{"old", 0xFFFF}, {"older", 0xFFFF}, {"oldest", 12}};
  EXPECT_EQ(deprecates, wantDeprecates);

  std::vector<std::string> runs;
  for (auto* n = desc.runList.head; n != nullptr; n = n->next) {
    const sRunItem& r = n->value;
    runs.push_back(Str(r.captionKey.text) + "|" + Str(r.folderKey.text) + "|" + Str(r.relativePath.text) + "|" +
                   Str(r.argumentsKey.text) + "|" + std::to_string(r.flag));
  }
  // Literals get their keys in the order they are read: "Go" .0000,
  // "-x" .0001, "No" .0002, ...
  const std::vector<std::string> wantRuns = {"title|pgm|a.exe||0", ".0000|pgm|b.exe|.0001|1", ".0002|pgm|c.exe||0"};
  EXPECT_EQ(runs, wantRuns);

  std::vector<std::string> menus;
  for (auto* n = desc.menuList.head; n != nullptr; n = n->next) {
    const sMenuItem& m = n->value;
    menus.push_back(Str(m.nameKey.text) + "|" + Str(m.targetFolderKey.text) + "|" + Str(m.targetPath.text) + "|" +
                    Str(m.iconFolderKey.text) + "|" + Str(m.iconPath.text) + "|" + std::to_string(m.flags) + "|" +
                    Str(m.descriptionKey.text) + "|" + Str(m.argumentsKey.text));
  }
  const std::vector<std::string> wantMenus = {
      "title|pgm|a.exe|pgm|a.ico|0||",
      ".0003|pgm|b.exe|.0004|b.ico|1|.0005|.0006",
      ".0007|pgm|c.exe|pgm|c.ico|0|title|",
  };
  EXPECT_EQ(menus, wantMenus);
  EXPECT_EQ(Str(desc.GetString(u".0004")), "C:/icons");
  EXPECT_EQ(Str(desc.GetString(u".0006")), "--admin");
}

TEST_F(Scenario, InstallLines) {
  struct Case {
    const char* line;
    const char* want;  // relative path | languages | flags 32 64 | digits
  } cases[] = {
      {"\"@D/program.exe\" = $pgm \"bin/p.exe\"", "bin/p.exe||11|888"},
      {"x32.\"@D/program.exe\" = $pgm \"p32.exe\", 755", "p32.exe||10|755"},
      {"x64. \"@D/program.exe\" = $pgm \"p64.exe\" ,  700 # c", "p64.exe||01|700"},
      {"\"@D/program.exe\" = $pgm \"en.exe\", , ENG", "en.exe|0|11|888"},
      {"\"@D/program.exe\" = $pgm \"both.exe\", 644, DEUENG # two", "both.exe|2 0|11|644"},
      {"\"@D/program.exe\" = $pgm \"all.exe\", 755, *", "all.exe||11|755"},
      {"\"@D/program.exe\" = $pgm \"all2.exe\", 755,", "all2.exe||11|755"},
      {"\"@D/program.exe\" = \"C:/Fixed\" \"f.exe\"", "f.exe||11|888"},
  };
  std::string text = kHead + "[Install]\n";
  for (const auto& c : cases) text += std::string(c.line) + "\n";
  int line = 0;
  ASSERT_EQ(Compile(text, line), kScenarioOk);
  std::vector<std::string> got;
  for (auto* n = desc.installList.head; n != nullptr; n = n->next) {
    const sInstallEntry& e = n->value;
    std::string languages;
    for (auto* l = e.languages.head; l != nullptr; l = l->next)
      languages += (languages.empty() ? "" : " ") + std::to_string(l->value);
    got.push_back(Str(e.relativePath.text) + "|" + languages + "|" + std::to_string(e.flag32) +
                  std::to_string(e.flag64) + "|" + std::to_string(e.accessUser) + std::to_string(e.accessAdmins) +
                  std::to_string(e.accessEveryone));
    EXPECT_EQ(e.payloadIndex, got.size() - 1);
  }
  ASSERT_EQ(got.size(), std::size(cases));
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], cases[i].want);
  EXPECT_EQ(desc.payloads.count, std::size(cases));
}

TEST_F(Scenario, FoldersAreAddedInListingOrder) {
  // Created out of order; the package must not depend on the order the file
  // system keeps.
  for (const char* name : {"pkg/zeta.txt", "pkg/sub/Gamma.txt", "pkg/_x.txt", "pkg/beta.txt", "pkg/Alpha.txt",
                           "pkg/sub/deeper/one.txt", "pkg/sub/alpha.txt"})
    Put(name, std::string("content of ") + name);
  int line = 0;
  ASSERT_EQ(Compile(kHead + "[Install]\n\"@D/pkg\" = $pgm \"app\", 750, ENG\n\"@D/pkg/sub\" = $pgm \"\"\n", line),
            kScenarioOk);
  std::vector<std::string> got;
  for (auto* n = desc.installList.head; n != nullptr; n = n->next) {
    got.push_back(Str(n->value.relativePath.text));
    const bool first = got.size() <= 7;
    EXPECT_EQ(n->value.accessUser, first ? 7 : 8) << got.back();
    EXPECT_EQ(n->value.languages.head != nullptr, first) << got.back();
    // Each file's payload holds that file.
    std::unique_ptr<cFileIOTarget> payload = OpenPayloadStream(n->value.payloadIndex, desc.payloads);
    ASSERT_NE(payload, nullptr);
    std::string content(static_cast<size_t>(payload->GetSize()), '\0');
    ASSERT_TRUE(payload->ReadExact(content.data(), static_cast<uint32_t>(content.size())));
    EXPECT_EQ(content.substr(content.rfind('/') + 1), got.back().substr(got.back().rfind('/') + 1));
  }
  const std::vector<std::string> want = {
      "app/Alpha.txt",           "app/beta.txt",      "app/sub/alpha.txt", "app/sub/deeper/one.txt",
      "app/sub/Gamma.txt",       "app/zeta.txt",      "app/_x.txt",
      "alpha.txt",               "deeper/one.txt",    "Gamma.txt",
  };
  EXPECT_EQ(got, want);
}

TEST_F(Scenario, AFailureInsideAFolderStopsIt) {
  Put("bad/a.txt", "a");
  Put("bad/b.txt", "");
  Put("bad/c.txt", "c");
  sInstallEntry entry;
  EXPECT_FALSE(desc.AddInstallSource(entry, U16(P("bad")).c_str()));
  ASSERT_NE(desc.installList.head, nullptr);
  EXPECT_EQ(Str(desc.installList.head->value.relativePath.text), "a.txt");
  EXPECT_EQ(desc.installList.head->next, nullptr);
  EXPECT_FALSE(desc.AddInstallSource(entry, U16(P("missing")).c_str()));
  EXPECT_FALSE(desc.AddInstallSource(entry, u""));
}

// Every encoding gives the same description, written byte for byte alike.
// (The text is given in the system's UTF-8, a surrogate pair as two
// three-byte sequences.)
TEST_F(Scenario, Encodings) {
  const std::string text = kHead + "[Strings]\nENG.x = \"\xC3\xA9\xE2\x82\xAC\xED\xA0\xBD\xED\xB8\x80\"\nDEU.x = \"\xC3\xBC\"\r\n"
                                   "[Install]\r\"@D/tree\" = $pgm \"t\"\r\n[Software]\nicon = $pgm \"t/readme.txt\"";
  std::vector<char> first;
  for (eEncoding e : {eEncoding::kUtf16LeBom, eEncoding::kUtf16Le, eEncoding::kUtf16Be, eEncoding::kUtf8}) {
    SCOPED_TRACE(static_cast<int>(e));
    int line = 0;
    ASSERT_EQ(Compile(text, line, e), kScenarioOk);
    EXPECT_EQ(Text(desc.GetString(u"x")), std::u16string(u"\u00E9\u20AC\U0001F600"));
    const std::vector<char> written = Written(desc);
    if (first.empty()) first = written;
    EXPECT_EQ(written, first);
  }
}

TEST_F(Scenario, FullScenarioWritesAndReadsBack) {
  int line = 0;
  const std::string text =
      "# A product in two languages\n"
      "[General]\n"
      "langs = ENG DEU\n"
      "[Software]\n"
      "codename = \"demo\"\n"
      "publisher = \"Example Ltd\"\n"
      "copyright = \"(c) Example\"\n"
      "group = \"Demo\"\n"
      "folder = \"Demo App\"\n"
      "version = \"2.1.3.4\"\n"
      "manual_URL = \"https://example.com/m\"\n"
      "publish_URL = \"https://example.com/p\"\n"
      "support_URL = \"https://example.com/s\"\n"
      "updates_URL = \"https://example.com/u\"\n"
      "welcome = \"@D/welcome.idx\"\n"
      "readme = \"@D/readme.idx\", yes\n"
      "eula = \"@D/eula.idx\"\n"
      "icon = $pgm \"demo.exe\"\n"
      "[Strings]\n"
      "name = \"Demo\"\n"
      "ENG.run = \"Start the demo\"\n"
      "DEU.run = \"Demo starten\"\n"
      "[Install]\n"
      "\"@D/program.exe\" = $pgm \"demo.exe\", 755\n"
      "\"@D/tree\" = $pgm \"data\", , DEU\n"
      "[Menu]\n"
      "$name = $pgm \"demo.exe\", $pgm \"demo.exe\", 0, $run\n"
      "[Run]\n"
      "$run = $pgm \"demo.exe\", yes\n"
      "[Settings]\n"
      "\"Level\" = d, \"3\"\n"
      "[Deprecates]\n"
      "\"demo-old\" = *\n";
  ASSERT_EQ(Compile(text, line, eEncoding::kUtf8), kScenarioOk);
  EXPECT_EQ(line, -1);
  const std::vector<char> bytes = Written(desc);

  cSOPKGDescription back;
  cBufWrapperIO in(bytes.data(), static_cast<uint32_t>(bytes.size()));
  ASSERT_TRUE(back.Read(&in));
  EXPECT_EQ(Written(back), bytes);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(back.version[i], static_cast<uint32_t>(i == 0 ? 2 : i == 1 ? 1 : i + 1));
  EXPECT_EQ(Str(back.updates_URL.text), "https://example.com/u");
  EXPECT_EQ(back.readmeConfirm, 1);
  cSimpleList<int32_t> languages;
  back.GetLanguages(languages);
  ASSERT_NE(languages.head, nullptr);
  EXPECT_EQ(languages.head->value, 0);
  ASSERT_NE(languages.head->next, nullptr);
  EXPECT_EQ(languages.head->next->value, 2);

  ASSERT_TRUE(back.SelectLanguage(2));
  ASSERT_TRUE(back.SetProgramFolder(back.commonTable, u"C:/Demo"));
  EXPECT_NE(back.GetWelcomeDocument(), nullptr);
  EXPECT_NE(back.GetReadmeDocument(), nullptr);
  EXPECT_NE(back.GetEulaDocument(), nullptr);
  cSimpleList<sInstallTarget> targets;
  ASSERT_TRUE(back.GetInstallEntries(targets, false));
  std::vector<std::string> paths;
  for (auto* n = targets.head; n != nullptr; n = n->next) paths.push_back(Str(n->value.targetPath.text));
  const std::vector<std::string> wantPaths = {"C:/Demo/demo.exe", "C:/Demo/data/readme.txt", "C:/Demo/data/sub/data.bin"};
  EXPECT_EQ(paths, wantPaths);
  EXPECT_EQ(targets.head->value.accessUser, 7);
  cSimpleList<sMenuEntry> menus;
  ASSERT_TRUE(back.GetMenuEntries(menus));
  ASSERT_NE(menus.head, nullptr);
  EXPECT_EQ(Str(menus.head->value.name.text), "Demo");
  EXPECT_EQ(Str(menus.head->value.description.text), "Demo starten");
  cSimpleList<sRunEntry> runs;
  ASSERT_TRUE(back.GetRunEntries(runs));
  ASSERT_NE(runs.head, nullptr);
  EXPECT_EQ(Str(runs.head->value.caption.text), "Demo starten");
  EXPECT_EQ(runs.head->value.flag, 1);

  ASSERT_TRUE(back.SelectLanguage(0));
  targets.Clear();
  ASSERT_TRUE(back.GetInstallEntries(targets, false));
  ASSERT_NE(targets.head, nullptr);
  EXPECT_EQ(targets.head->next, nullptr);  // the tree is for DEU only
}

}  // namespace
