// Internal to the configuration store: the calls through which a save makes
// its writes durable, replaceable so that tests can watch their order and
// the save benchmark can measure what they cost.
#pragma once

#include "base/fileio.h"

namespace tw {

struct sConfigDurability {
  // Puts the file's written bytes on the disk (cFileIO::Flush). A save
  // calls it on its pending copy before it writes the section file, and on
  // the section file before it removes the pending copy.
  bool (*flushFile)(cFileIO& file);
  // Makes a folder's entries durable (FlushFolderLong): the pending folder
  // once a pending copy has been made in it.
  bool (*flushFolder)(const char16_t* path);
};

// The calls in use; the default ones unless replaced.
const sConfigDurability& ConfigDurability();
// Replaces them (null: the defaults again). Not for use while a store of
// the process saves.
void SetConfigDurability(const sConfigDurability* calls);

}  // namespace tw
