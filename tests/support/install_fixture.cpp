// Installation test fixture. See install_fixture.h.
#include "tests/support/install_fixture.h"

#include <fstream>
#include <sstream>

#include "base/fileio.h"
#include "base/memio.h"
#include "base/registry.h"
#include "package/payload.h"
#include "tools/install_context.h"
#include "tools/install_start.h"
#include "tools/uninstall_entry.h"
#include "tools/version_record.h"
#ifdef _WIN32
#include "tests/support/capture.h"
#endif

namespace fs = std::filesystem;

namespace twtest {

namespace {

void Put(tPkgStringTable& table, const char16_t* key, const std::u16string& value) {
  cPackedKey k;
  k.FromWide(key, -1);
  table.FindOrInsert(std::move(k))->Assign(value.c_str());
}

std::string Hex(uint64_t v) {
  std::ostringstream s;
  s << std::hex << v;
  return s.str();
}

}  // namespace

std::string FileContent(const std::string& path) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Noise(size_t n, uint32_t seed) {
  std::string out(n, '\0');
  uint32_t x = seed * 2654435761u + 12345u;
  for (char& c : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return out;
}

void InstallTest::SetUp() {
  RegistryTest::SetUp();
  codename_ = UniqueCodename("twtest-install");
  const std::string root = tmp_.path();
  programs_ = root + "/programs";
  for (const char* sub : {"/programs", "/appdata", "/programdata", "/allusers", "/prog"}) {
    fs::create_directories(fs::u8path(root + sub));
  }
  for (const auto& [name, sub] : std::vector<std::pair<const char*, const char*>>{
           {"ProgramW6432", "/programs"},
           {"ProgramFiles", "/programs"},
           {"APPDATA", "/appdata"},
           {"ProgramData", "/programdata"},
           {"ALLUSERSPROFILE", "/allusers"}}) {
    env_.push_back(std::make_unique<ScopedEnv>(name, (root + sub).c_str()));
  }
#ifdef _WIN32
  // The program itself: its clean copy is the manager, and it answers
  // "version" as the real one does.
  program_ = root + "/prog/tarnwick.exe";
  fs::copy_file(fs::u8path(BinaryPath("tarnwick.exe")), fs::u8path(program_));
#else
  // A script answering the own version plays the program.
  program_ = root + "/prog/tarnwick.sh";
  uint8_t record[16];
  EncodeVersionRecord(GetOwnVersion(), record);
  std::string body = "#!/bin/sh\nprintf '";
  for (uint8_t b : record) {
    char e[8];
    std::snprintf(e, sizeof e, "\\%03o", b);
    body += e;
  }
  body += "'\n";
  std::ofstream(fs::u8path(program_)) << body;
  fs::permissions(fs::u8path(program_), fs::perms::owner_all);
#endif
  store_ = OpenStore();
  ASSERT_NE(store_, nullptr);
}

void InstallTest::TearDown() {
  store_.reset();
  DeleteUninstallEntry(codename_.c_str(), false);
  DeleteUninstallEntry(codename_.c_str(), true);
  env_.clear();
}

std::unique_ptr<cCIAppFullConfig> InstallTest::OpenStore() const {
  auto store = std::make_unique<cCIAppFullConfig>();
  if (!store->Open(u"qxv")) {
    if (!store->Create(u"qxv") || !store->Open(u"qxv")) return nullptr;
  }
  return store;
}

std::string InstallTest::WritePackage(const sPackageSpec& spec, uint32_t offset) {
  cSOPKGDescription d;
  Put(d.commonTable, u"codename", codename_);
  Put(d.commonTable, u"folder", u"Tarn App");
  Put(d.commonTable, u"publisher", u"Vornak Test");
  Put(d.commonTable, u"group", u"Tarn Group");
  Put(*d.LanguageTable(0), u"name", u"Tarn App");
  Put(*d.LanguageTable(0), u"menu0", u"Tarn App Main");
  for (int i = 0; i < 4; ++i) d.version[i] = spec.version[i];
  d.support_URL.Assign(u"http://example.org/support");
  d.updates_URL.Assign(u"http://example.org/updates");
  d.publish_URL.Assign(u"http://example.org/publisher");
  d.manual_URL.Assign(u"http://example.org/manual");
  bool first = true;
  for (const auto& [relative, content] : spec.files) {
    cMemIOTarget source;
    source.Write(content.data(), static_cast<uint32_t>(content.size()));
    const int32_t index = AddPayloadFromStream(&source, d.payloads);
    EXPECT_GE(index, 0) << relative;
    sInstallEntry* e = d.AddInstallEntry();
    e->payloadIndex = static_cast<uint32_t>(index);
    e->folderKey.Assign(u"pgm");
    e->relativePath.Assign(U16(relative).c_str());
    e->flag32 = 1;
    e->flag64 = 1;
    if (first && spec.shortcut) {
      sMenuItem* m = d.AddMenuEntry();
      m->nameKey.Assign(u"menu0");
      m->targetFolderKey.Assign(u"pgm");
      m->targetPath.Assign(U16(relative).c_str());
      m->iconFolderKey.Assign(u"pgm");
      m->iconPath.Assign(U16(relative).c_str());
    }
    first = false;
  }
  const std::string path = tmp_.path() + "/pkg-" + std::to_string(serial_++) + ".bin";
  cFileIO file;
  EXPECT_TRUE(file.Create(U16(path).c_str(), kFileRead | kFileWrite));
  const std::string filler(offset, 'F');
  if (offset > 0) file.Write(filler.data(), offset);
  EXPECT_TRUE(d.Write(&file));
  return path;
}

int32_t InstallTest::Install(const sPackageSpec& spec) {
  const std::string package = WritePackage(spec);
  store_ = OpenStore();  // what the next process would read
  sInstallContext context;
  context.programPath.Assign(U16(program_).c_str());
  context.packagePath.Assign(U16(package).c_str());
  context.store = store_.get();
  return RunSilentInstallWith(context);
}

std::vector<std::string> InstallTest::SideFiles() const {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(fs::u8path(tmp_.path()))) {
    const std::string ext = e.path().extension().generic_string();
    if (ext == ".tmp" || ext == ".bkp") out.push_back(e.path().generic_string());
  }
  return out;
}

void InstallTest::ExpectInstalled(const sPackageSpec& spec) {
  std::map<std::string, std::string> found;
  const fs::path root = fs::u8path(ProgramFolder());
  if (fs::exists(root)) {
    for (const auto& e : fs::recursive_directory_iterator(root)) {
      if (e.is_regular_file()) {
        found[fs::relative(e.path(), root).generic_string()] = FileContent(e.path().generic_string());
      }
    }
  }
  EXPECT_EQ(found.size(), spec.files.size());
  for (const auto& [relative, content] : spec.files) {
    auto it = found.find(relative);
    ASSERT_NE(it, found.end()) << relative;
    EXPECT_TRUE(it->second == content) << relative << " differs";
  }
  EXPECT_EQ(SideFiles(), std::vector<std::string>{});
}

void InstallTest::ExpectRegistered(const sPackageSpec& spec) {
  auto store = OpenStore();
  ASSERT_NE(store, nullptr);
  const std::string prefix = "install/" + Narrow(codename_);
  uint64_t version = 0;
  ASSERT_TRUE(store->GetMachineConfig()->GetInt64((prefix + "/ver").c_str(), version));
  const uint64_t expected = (uint64_t{spec.version[0]} << 48) | (uint64_t{spec.version[1]} << 32) |
                            (uint64_t{spec.version[2]} << 16) | spec.version[3];
  EXPECT_EQ(Hex(version), Hex(expected));
  _guardchar<char16_t> text;
  ASSERT_TRUE(store->GetString((prefix + "/path").c_str(), text));
  EXPECT_EQ(Narrow(text.text), ProgramFolder());
  EXPECT_EQ(store->GetInt((prefix + "/files").c_str()), static_cast<int32_t>(spec.files.size()));
  std::vector<std::string> files;
  for (size_t i = 0; i < spec.files.size(); ++i) {
    _guardchar<char16_t> file;
    ASSERT_TRUE(store->GetString((prefix + "/file" + std::to_string(i)).c_str(), file));
    files.push_back(Narrow(file.text));
  }
  std::vector<std::string> expectedFiles;
  for (const auto& [relative, content] : spec.files) expectedFiles.push_back(ProgramFolder() + "/" + relative);
  EXPECT_EQ(files, expectedFiles);
  // Machine-wide only: no per-user record hides it.
  EXPECT_FALSE(store->GetUserConfig()->Exists(prefix.c_str()));
  ASSERT_TRUE(store->GetString("installer/app", text));
  EXPECT_EQ(Narrow(text.text), ManagerPath());

  uint32_t parts[4];
  _guardchar<char16_t> command, name;
  ASSERT_TRUE(ReadUninstallEntry(codename_.c_str(), parts, &command, &name, false));
  EXPECT_EQ((std::vector<uint32_t>(parts, parts + 4)),
            (std::vector<uint32_t>(spec.version, spec.version + 4)));
  EXPECT_EQ(Narrow(name.text), "Tarn App");
  std::string manager = ManagerPath();
  for (char& c : manager) {
    if (c == '/') c = '\\';
  }
  EXPECT_EQ(Narrow(command.text), "\"" + manager + "\" uninstall \"" + Narrow(codename_) + "\"");
  EXPECT_FALSE(ReadUninstallEntry(codename_.c_str(), parts, nullptr, nullptr, true));
}

}  // namespace twtest
