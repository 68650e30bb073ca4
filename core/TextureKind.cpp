#include "core/TextureKind.h"

#include <algorithm>

const char* TextureKindName(TextureKind kind)
{
    switch (kind) {
    case TextureKind::Imagery:
        return "imagery";
    case TextureKind::ImageryWithMap:
        return "imagery+map";
    case TextureKind::Map:
        break;
    }
    return "map";
}

const char* TextureKindLabel(TextureKind kind)
{
    switch (kind) {
    case TextureKind::Imagery:
        return "Aerial imagery";
    case TextureKind::ImageryWithMap:
        return "Imagery with streets";
    case TextureKind::Map:
        break;
    }
    return "Street map";
}

std::optional<TextureKind> TextureKindNamed(const std::string& name)
{
    for (TextureKind kind : kTextureKinds)
        if (name == TextureKindName(kind))
            return kind;
    return std::nullopt;
}

bool UsesImagery(TextureKind kind)
{
    return kind != TextureKind::Map;
}

bool IsTextureHeight(int height)
{
    return std::find(kTextureHeights.begin(), kTextureHeights.end(), height) != kTextureHeights.end();
}

std::string TextureHeightList()
{
    std::string list;
    for (size_t i = 0; i < kTextureHeights.size(); ++i) {
        if (i > 0)
            list += i + 1 == kTextureHeights.size() ? " or " : ", ";
        list += std::to_string(kTextureHeights[i]);
    }
    return list;
}
