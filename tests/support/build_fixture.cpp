#include "tests/support/build_fixture.h"

#include <string>

#include "base/memio.h"
#include "package/description.h"
#include "package/setup_builder.h"

namespace twtest {

namespace {

void Put(tPkgStringTable& table, const char16_t* key, const char16_t* value) {
  cPackedKey k;
  k.FromWide(key, -1);
  table.FindOrInsert(std::move(k))->Assign(value);
}

}  // namespace

int32_t FillBuildPackage(cSOPKGDescription& d) {
  d.version[0] = 3;
  d.version[1] = 1;
  Put(d.commonTable, u"codename", u"demo");
  Put(d.commonTable, u"publisher", u"Example Ltd");
  Put(d.commonTable, u"name", u"Common name");
  Put(d.commonTable, u"copyright", u"(c) Example");
  Put(*d.LanguageTable(2), u"name", u"Deutscher Name");
  Put(*d.LanguageTable(0), u"name", u"English name");
  const std::string content(5000, 'x');
  cBufWrapperIO in(content.data(), static_cast<uint32_t>(content.size()));
  const int32_t index = AddPayloadFromStream(&in, d.payloads);
  if (index < 0) return 26;
  sInstallEntry* e = &d.installList.Append()->value;
  e->payloadIndex = static_cast<uint32_t>(index);
  e->folderKey.Assign(u"pgm");
  e->relativePath.Assign(u"x.txt");
  return 0;
}

int32_t CompileBuildPackage(const char16_t*, cSOPKGDescription& description, int32_t&, sBuildDocError&) {
  return FillBuildPackage(description);
}

}  // namespace twtest
