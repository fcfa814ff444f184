// Target folder check and the silent folder step. See target_folder.h.
#include "tools/target_folder.h"

#include <cstring>

#include "base/buffers.h"
#include "base/fileio.h"
#include "base/format.h"
#include "base/paths.h"
#include "base/strings.h"
#include "package/payload.h"
#include "tools/install_context.h"
#include "tools/install_start.h"
#include "tools/installer_job.h"
#include "tools/manager_location.h"

void DefaultProgramFolder(_guardchar<char16_t>& out) { GetProgramsFolder(out); }

int32_t CheckInstallTarget(const char16_t* target, const uint8_t (&digest)[kSha256Size]) {
  const int kind = GetPathKind(target);
  if (kind == tw::kPathFile) {
    cFileIO file;
    uint8_t found[kSha256Size];
    if (!file.Open(target, kFileRead) || !Sha256OfStream(&file, found)) {
      return tw::kStartCannotRead;
    }
    return std::memcmp(found, digest, kSha256Size) == 0 ? 0 : tw::kStartForeignFile;
  }
  if (kind != tw::kPathMissing) return tw::kStartObjectInTheWay;
  return CheckTargetAncestor(target);
}

namespace {

int32_t RunJob(sInstallContext& context) {
  return RunInstallerJob(context, nullptr) == 0 ? 0 : context.resultCode;
}

}  // namespace

int32_t InstallSilentToDefaultFolder(sInstallContext& context) {
  if (context.description.GetString(u"pgm") != nullptr) return RunJob(context);

  _guardchar<char16_t> programs;
  DefaultProgramFolder(programs);
  const char16_t* folder = context.description.GetString(u"folder");
  if (folder == nullptr) folder = u"";
  const int32_t capacity = WideLength(programs.text) + WideLength(folder) + 2;
  _typebuf<char16_t> pgm(capacity);
  FormatW(pgm.data, capacity, u"%s/%s", programs.text != nullptr ? programs.text : u"", folder);
  if (!context.description.SetProgramFolder(context.description.commonTable, pgm.data) ||
      !context.description.GetInstallEntries(context.installEntries)) {
    return tw::kStartDamaged;
  }
  bool anyChanged = false;
  for (auto* n = context.installEntries.head; n != nullptr; n = n->next) {
    context.errorPath.Assign(n->value.targetPath.text);
    const int32_t code = CheckInstallTarget(n->value.targetPath.text, n->value.digest);
    if (code != 0) return code;
    if (!IsEntryUnchanged(n->value)) anyChanged = true;
  }
  return anyChanged ? RunJob(context) : 0;
}
