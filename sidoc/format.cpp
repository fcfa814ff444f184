// See sidoc/format.h.
#include "sidoc/format.h"

#include "gui/font.h"

namespace sidoc {

const char16_t* FaceName(int32_t faceCode) {
  switch (faceCode) {
    case 0: return GetUIFaceName();  // "Tahoma" while the toolkit has chosen none
    case 1: return u"Courier New";
    case 2: return u"Malgun Gothic";
    case 3: return u"Verdana";
    case 4: return u"Lucida Sans";
    case 5: return u"Microsoft YaHei";
    case 6: return u"PMingLiU";
    default: return nullptr;
  }
}

}  // namespace sidoc
