// Root class of the objects that the support library's collections own.
#pragma once

namespace rover {

// A collection that owns its items destroys them through this class, so every
// owned item must derive from it, with TObject as its first (or only) base.
class TObject {
  public:
    TObject() = default;
    virtual ~TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
};

} // namespace rover
