#pragma once

#include <array>
#include <optional>
#include <string>

// What the job lays over the terrain: the street map over a colouring by
// elevation, an aerial photograph alone, or the street map over the
// photograph.
enum class TextureKind { Map, Imagery, ImageryWithMap };

inline constexpr std::array<TextureKind, 3> kTextureKinds{TextureKind::Map, TextureKind::Imagery,
                                                          TextureKind::ImageryWithMap};

// The texture heights the renderer is offered; the first is the default.
inline constexpr std::array<int, 4> kTextureHeights{1200, 2400, 4800, 9600};

// "map", "imagery" or "imagery+map", as the batch runner's option takes it.
const char* TextureKindName(TextureKind kind);
// "Street map", "Aerial imagery" or "Imagery with streets", as the window shows it.
const char* TextureKindLabel(TextureKind kind);
std::optional<TextureKind> TextureKindNamed(const std::string& name);

bool UsesImagery(TextureKind kind);
bool IsTextureHeight(int height);
// "1200, 2400, 4800 or 9600", for messages.
std::string TextureHeightList();
