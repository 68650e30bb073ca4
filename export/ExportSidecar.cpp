#include "export/ExportSidecar.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>

std::string SidecarText(const HeightMapPlacement& placement, const GreyScale& grey, const std::string& heightMap)
{
    const Quad& quad = placement.quad;
    QJsonObject json;
    json["heightMap"] = QString::fromStdString(std::filesystem::path(heightMap).filename().string());
    json["columns"] = placement.columns;
    json["rows"] = placement.rows;
    json["rowOrder"] = "north to south";
    json["metresFromGrey"] = QJsonObject{{"offset", grey.offset}, {"scale", grey.scale},
                                         {"formula", "metres = offset + scale * grey"}};
    json["voidGrey"] = kVoidGrey;
    if (!grey.range.Empty()) {
        json["minimumMetres"] = grey.range.minimum;
        json["maximumMetres"] = grey.range.maximum;
    }
    json["voids"] = static_cast<double>(grey.range.voids);
    json["quad"] = QJsonObject{{"west", quad.left}, {"east", quad.right}, {"north", quad.top}, {"south", quad.bottom}};
    json["firstPost"] = QJsonObject{{"longitude", placement.Longitude(0)}, {"latitude", placement.Latitude(0)}};
    json["postSpacingDegrees"] = QJsonObject{{"longitude", placement.SpacingX()}, {"latitude", placement.SpacingY()}};
    json["r16"] = "little-endian unsigned 16-bit, no header";
    return QJsonDocument(json).toJson(QJsonDocument::Indented).toStdString();
}

bool ReadSidecarQuad(const std::string& path, Quad& quad)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QJsonObject edges = QJsonDocument::fromJson(file.read(1 << 20)).object()["quad"].toObject();
    for (const char* key : {"west", "east", "north", "south"})
        if (!edges[key].isDouble())
            return false;
    quad = Quad{edges["west"].toDouble(), edges["east"].toDouble(), edges["north"].toDouble(),
                edges["south"].toDouble()};
    return quad.right > quad.left && quad.top > quad.bottom;
}
