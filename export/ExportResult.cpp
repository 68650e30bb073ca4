#include "export/ExportResult.h"

#include "core/FileReplacement.h"
#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "export/ExportFileNames.h"
#include "export/ExportSidecar.h"
#include "export/GreyScale.h"
#include "export/HeightExports.h"
#include "export/HeightSamples.h"

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

bool Wants(const ExportRequest& request, ExportFormat format)
{
    return std::find(request.formats.begin(), request.formats.end(), format) != request.formats.end();
}

void LogFailure(LogSink& log, const std::string& file, const std::string& reason)
{
    log.AddToLog(StringPrintf("Error in ExportResult(): Could not write \"%s\": %s.", file.c_str(), reason.c_str()));
}

class Exporter {
public:
    Exporter(const ExportRequest& request, LogSink& log)
        : request_(request)
        , log_(log)
        , names_(ExportNamesFor(request.heightMap))
    {
    }

    int Run()
    {
        const bool needsHeights =
            Wants(request_, ExportFormat::Png16) || Wants(request_, ExportFormat::Raw16) || Wants(request_, ExportFormat::GeoTiff);
        if (needsHeights && !LoadHeights())
            return 1;
        if (Wants(request_, ExportFormat::Png16))
            Write(names_.png16, [&](const std::string& t, std::string& e) { return WritePng16(samples_, grey_, t, e); });
        if (Wants(request_, ExportFormat::Raw16))
            Write(names_.raw16, [&](const std::string& t, std::string& e) { return WriteRaw16(samples_, grey_, t, e); });
        if (Wants(request_, ExportFormat::Png16) || Wants(request_, ExportFormat::Raw16))
            WriteSidecar();
        if (Wants(request_, ExportFormat::GeoTiff))
            WritePlaced(names_.geoTiff, [&](const std::string& t, std::string& e) {
                return WriteGeoTiff(samples_, Placement(), t, e);
            });
        if (Wants(request_, ExportFormat::TexturePng))
            WriteTexture();
        return failed_ ? 1 : 0;
    }

private:
    using Writer = std::function<bool(const std::string& temporary, std::string& error)>;

    bool LoadHeights()
    {
        std::string error;
        if (!ReadHeightSamples(request_.heightMap, samples_, error)) {
            log_.AddToLog(StringPrintf("Error in ExportResult(): %s.", error.c_str()));
            return false;
        }
        grey_ = GreyScaleFor(RangeOf(samples_));
        return true;
    }

    HeightMapPlacement Placement() const { return HeightMapPlacement{*request_.quad, samples_.columns, samples_.rows}; }

    // The writer writes a temporary beside `file`, which replaces `file`
    // only when whole; other exports of the same file may run meanwhile.
    void Write(const std::string& file, const Writer& writer)
    {
        std::string error;
        FileReplacement replacement = FileReplacement::WithUniqueTemporary(file, ".partial-");
        if (!replacement.Failed() && writer(replacement.WritingName(), error) && replacement.Commit()) {
            log_.AddToLog(StringPrintf("Export written: \"%s\".", file.c_str()));
        } else {
            LogFailure(log_, file, replacement.Failed() ? replacement.Reason() : error);
            failed_ = true;
        }
    }

    // Files that say where the posts lie need the quad.
    void WritePlaced(const std::string& file, const Writer& writer)
    {
        if (!request_.quad) {
            LogFailure(log_, file, "the quad of the height map is not known");
            failed_ = true;
            return;
        }
        Write(file, writer);
    }

    void WriteSidecar()
    {
        WritePlaced(names_.sidecar, [&](const std::string& temporary, std::string& error) {
            const std::string text = SidecarText(Placement(), grey_, request_.heightMap);
            std::FILE* file = std::fopen(temporary.c_str(), "wb");
            bool ok = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
            if (file && std::fclose(file) != 0)
                ok = false;
            if (!ok)
                error = "writing the file failed";
            return ok;
        });
    }

    void WriteTexture()
    {
        if (request_.texture.empty()) {
            LogFailure(log_, names_.texturePng, "no texture lies beside the height map");
            failed_ = true;
            return;
        }
        Write(names_.texturePng,
              [&](const std::string& t, std::string& e) { return WriteTexturePng(request_.texture, t, e); });
    }

    const ExportRequest& request_;
    LogSink& log_;
    ExportFileNames names_;
    HeightSamples samples_;
    GreyScale grey_;
    bool failed_ = false;
};

} // namespace

int ExportResult(const ExportRequest& request, LogSink& log)
{
    return Exporter(request, log).Run();
}
