// cPictCR2's development: waits for the shared RAW development layer; until
// it is in the tree a Load stops after the decode.
#include "picture/raw/pict_cr2.h"

bool cPictCR2::PutRows16(int32_t, const sTiffStripData&) { return false; }
bool cPictCR2::DevelopBayer(const sTiffStripData&) { return false; }
