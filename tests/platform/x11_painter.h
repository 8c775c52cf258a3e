// The tests' own X client: draws on the root window, moves the pointer and sets the root cursor,
// each call waiting until the server has done it. Used by one thread.
#pragma once

#include <cstdint>

struct _XDisplay;
struct _XGC;

namespace vexa::platform::testing {

class Painter {
  public:
    explicit Painter(const char* display_name);
    ~Painter();
    Painter(const Painter&) = delete;
    Painter& operator=(const Painter&) = delete;

    [[nodiscard]] bool Valid() const { return display_ != nullptr; }
    // Fills a rectangle of the root window with an 0xRRGGBB colour.
    void Fill(int x, int y, int width, int height, uint32_t rgb);
    // Moves the pointer as a device does (XTest), with the motion events a real move makes.
    void MovePointer(int x, int y);
    // A 16×16 root cursor with its hot spot at (3, 5): the top half white, the bottom half black.
    void SetHalfWhiteCursor();

  private:
    _XDisplay* display_;
    _XGC* gc_ = nullptr;
};

}  // namespace vexa::platform::testing
