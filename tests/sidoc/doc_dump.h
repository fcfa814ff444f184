// A box tree as text, for comparing loaded documents with golden text.
// One line per box, indented by depth; fields at their defaults are left out.
#pragma once

#include <cstdio>
#include <string>

#include "sidoc/loader.h"
#include "tests/support/test_support.h"

namespace doctest {

inline std::string Hex(int32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%X", static_cast<unsigned>(v));
  return b;
}

inline std::string DumpFont(const cSiDocLoader* loader, cSiDocFontProvider* provider, int32_t id) {
  if (provider == nullptr) return "";
  if (loader == nullptr || provider != loader) return " font=?";
  const sSiDocFontRecord* f = loader->fonts.Find(id);
  if (f == nullptr) return " font=missing";
  std::string s = " font=" + std::to_string(f->face) + "/" + std::to_string(f->width) + "x" + std::to_string(f->height);
  if (f->bold) s += "b";
  if (f->italic) s += "i";
  if (f->underline) s += "u";
  return s;
}

inline std::string DumpHead(const cSiDocBox& b) {
  std::string s;
  if (b.background != -1) s += " bg=" + Hex(b.background);
  if (b.lineBreak) s += " br";
  if (b.marginLeft || b.marginRight || b.marginTop || b.marginBottom)
    s += " m=" + std::to_string(b.marginLeft) + "," + std::to_string(b.marginRight) + "," +
         std::to_string(b.marginTop) + "," + std::to_string(b.marginBottom);
  if (b.width != -1) s += " w=" + std::to_string(b.width);
  if (b.height != -1) s += " h=" + std::to_string(b.height);
  return s;
}

inline std::string DumpPicture(const cSiDocLoader* loader, const cPicture* p) {
  if (p == nullptr) return " pic=none";
  if (loader != nullptr)
    for (auto* n = loader->pictures.First(); n != nullptr; n = decltype(loader->pictures)::Next(n))
      if (n->value.get() == p)
        return " pic=" + std::to_string(n->key) + ":" + std::to_string(p->GetWidth()) + "x" +
               std::to_string(p->GetHeight());
  return " pic=?";
}

inline std::string Dump(const cSiDocBox& b, const cSiDocLoader* loader, int depth = 0) {
  std::string s(static_cast<size_t>(depth) * 2, ' ');
  switch (b.Kind()) {
    case eSiDocBoxKind::kText:
    case eSiDocBoxKind::kLink: {
      const auto& t = static_cast<const cSiDocText&>(b);
      s += b.Kind() == eSiDocBoxKind::kLink ? "link" : "text";
      if (!t.text.IsEmpty()) s += " \"" + twtest::Narrow(t.text.text) + "\"";
      if (t.foreground != -1) s += " fg=" + Hex(t.foreground);
      s += DumpFont(loader, t.fontProvider, t.fontId);
      if (b.Kind() == eSiDocBoxKind::kLink) {
        const char16_t* target = static_cast<const cSiDocLink&>(b).target;
        s += target == nullptr ? " ->none" : " ->\"" + twtest::Narrow(target) + "\"";
      }
      s += DumpHead(b);
      break;
    }
    case eSiDocBoxKind::kImage:
    case eSiDocBoxKind::kImageLink: {
      const auto& i = static_cast<const cSiDocImage&>(b);
      s += b.Kind() == eSiDocBoxKind::kImageLink ? "piclink" : "picture";
      s += DumpPicture(loader, i.picture);
      if (b.Kind() == eSiDocBoxKind::kImageLink) {
        const char16_t* target = static_cast<const cSiDocImageLink&>(b).target;
        s += target == nullptr ? " ->none" : " ->\"" + twtest::Narrow(target) + "\"";
      }
      s += DumpHead(b);
      break;
    }
    case eSiDocBoxKind::kContainer: {
      const auto& c = static_cast<const cSiDocContainer&>(b);
      s += "box a=" + std::to_string(c.alignment);
      if (c.foreground != -1) s += " fg=" + Hex(c.foreground);
      s += DumpFont(loader, c.fontProvider, c.fontId);
      s += DumpHead(b);
      s += "\n";
      for (const auto& child : c.children) s += Dump(*child, loader, depth + 1);
      return s;
    }
  }
  return s + "\n";
}

}  // namespace doctest
