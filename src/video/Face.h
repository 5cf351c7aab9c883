// An installed font face, matched by name the way the SWF writer matches it,
// with its metrics on the writer's 1024-unit em.
#pragma once

#include <cairo.h>

#include <memory>
#include <mutex>
#include <string>

namespace video {

constexpr int kEmSquare = 1024;

class TFace {
  public:
    explicit TFace(const std::string& name);
    ~TFace();
    TFace(const TFace&) = delete;
    TFace& operator=(const TFace&) = delete;

    int Ascent() const { return AscentEm; }
    int Descent() const { return DescentEm; }
    int Leading() const { return LeadingEm; }
    // Appends the glyph of code to cr's path, scaled to scale pixels per em
    // unit with its origin at (x, y); returns its advance in em units.
    int32_t AppendGlyph(cairo_t* cr, uint32_t code, double x, double y, double scale) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> P;
    int AscentEm = 0, DescentEm = 0, LeadingEm = 0;
    mutable std::mutex Mutex;
};

} // namespace video
