// The wizard's bitmap that kelvopack init makes when a project has none yet:
// 160 x 300 pixels, a blue gradient with the application's name and "Setup"
// in white letters, as an uncompressed 8-bit Windows bitmap with its colour
// table, so that the setup shows it without complaint and it fits the room
// left of the wizard's pages. Between the colour table and the pixels it
// carries "Kelvo stand-in for " and the name, so that a build can tell an
// untouched stand-in from the author's own picture (StandIns).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class PlaceholderBitmap {
public:
    static constexpr int kWidth = 160;
    static constexpr int kHeight = 300;

    // The BMP file, with `name` (code page 1252) wrapped onto as many lines
    // as it needs, in the largest letters that fit.
    static std::vector<uint8_t> Make(const std::string& name);

    // The name a bitmap made by Make says it was made for; empty when it
    // says none. Whether it is untouched tells only Make(name) == bmp.
    static std::string NameOf(const std::vector<uint8_t>& bmp);

    static constexpr char kMark[] = "Kelvo stand-in for ";
};
