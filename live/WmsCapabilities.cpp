#include "live/WmsCapabilities.h"

#include "live/WmsAnswer.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <vector>

namespace {

struct OpenLayer {
    WmsLayerInfo info;
};

// The first bytes of a document, printable, for a message.
std::string Opening(const std::string& bytes)
{
    std::string shown;
    for (const char c : bytes.substr(0, 40))
        shown += c >= ' ' && c <= '~' ? c : '?';
    return shown;
}

int PositiveNumber(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok && value > 0 ? value : 0;
}

class CapabilitiesReader {
public:
    explicit CapabilitiesReader(const std::string& xml)
        : reader_(QByteArray::fromRawData(xml.data(), static_cast<qsizetype>(xml.size())))
    {
    }

    WmsCapabilities Read()
    {
        bool sawRoot = false;
        while (!reader_.atEnd()) {
            reader_.readNext();
            if (reader_.isStartElement()) {
                if (!sawRoot && !IsCapabilitiesRoot())
                    return Failure("it is not a WMS capabilities document (its root element is <" +
                                   reader_.name().toString().toStdString() + ">)");
                sawRoot = true;
                Start();
            } else if (reader_.isEndElement()) {
                End();
            }
        }
        if (reader_.hasError())
            return Failure("it is not well-formed XML (" + reader_.errorString().toStdString() + " at line " +
                           std::to_string(reader_.lineNumber()) + ")");
        if (!sawRoot)
            return Failure("it holds no XML element");
        result_.ok = true;
        return std::move(result_);
    }

private:
    bool IsCapabilitiesRoot() const
    {
        const QStringView name = reader_.name();
        return name == u"WMS_Capabilities" || name == u"WMT_MS_Capabilities";
    }

    void Start()
    {
        const QString name = reader_.name().toString();
        const QString parent = path_.empty() ? QString() : path_.back();
        path_.push_back(name);
        if (name == u"Layer") {
            OpenLayer layer;
            if (!layers_.empty())
                layer.info.maxScaleDenominator = layers_.back().info.maxScaleDenominator;
            layers_.push_back(layer);
            return;
        }
        if (parent == u"Layer" && !layers_.empty())
            return ReadLayerChild(name);
        if (parent == u"Service" && (name == u"MaxWidth" || name == u"MaxHeight")) {
            const int value = PositiveNumber(ReadText());
            (name == u"MaxWidth" ? result_.maxWidth : result_.maxHeight) = value;
            return;
        }
        if (parent == u"GetMap" && name == u"Format")
            result_.formats.push_back(ReadText().trimmed().toStdString());
    }

    void ReadLayerChild(const QString& name)
    {
        OpenLayer& layer = layers_.back();
        if (name == u"Name")
            layer.info.name = ReadText().trimmed().toStdString();
        else if (name == u"Title")
            layer.info.title = ReadText().simplified().toStdString();
        else if (name == u"MaxScaleDenominator") {
            bool ok = false;
            const double value = ReadText().trimmed().toDouble(&ok);
            if (ok && value > 0.0)
                layer.info.maxScaleDenominator = value;
        }
    }

    // Reads an element's text; the reader then stands on its end element.
    QString ReadText()
    {
        const QString text = reader_.readElementText(QXmlStreamReader::SkipChildElements);
        End();
        return text;
    }

    void End()
    {
        if (path_.empty())
            return;
        if (path_.back() == u"Layer" && !layers_.empty()) {
            if (!layers_.back().info.name.empty())
                result_.layers.push_back(layers_.back().info);
            layers_.pop_back();
        }
        path_.pop_back();
    }

    WmsCapabilities Failure(const std::string& why)
    {
        // The parser's message may quote the document: keep it one line.
        WmsCapabilities failed;
        failed.error = why;
        for (char& c : failed.error)
            if (static_cast<unsigned char>(c) < 0x20)
                c = ' ';
        return failed;
    }

    QXmlStreamReader reader_;
    std::vector<QString> path_;
    std::vector<OpenLayer> layers_;
    WmsCapabilities result_;
};

}  // namespace

const WmsLayerInfo* WmsCapabilities::LayerTitled(const std::string& title) const
{
    const auto it = std::find_if(layers.begin(), layers.end(), [&](const WmsLayerInfo& l) { return l.title == title; });
    return it == layers.end() ? nullptr : &*it;
}

std::string WmsCapabilities::PreferredFormat() const
{
    for (const char* wanted : {"image/png", "image/gif"})
        if (formats.empty() || std::find(formats.begin(), formats.end(), wanted) != formats.end())
            return wanted;
    return formats.front();
}

WmsCapabilities ReadWmsCapabilities(const std::string& xml)
{
    if (xml.size() > kMaxWmsCapabilitiesBytes) {
        WmsCapabilities failed;
        failed.error = "it is larger than " + std::to_string(kMaxWmsCapabilitiesBytes >> 20) + " MiB";
        return failed;
    }
    const size_t firstMark = xml.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    if (firstMark == std::string::npos || xml[firstMark] != '<') {
        WmsCapabilities failed;
        failed.error = "it is not XML (it begins \"" + Opening(xml) + "\")";
        return failed;
    }
    WmsCapabilities read = CapabilitiesReader(xml).Read();
    if (!read.ok) {
        // A service may answer a capabilities request with an exception report.
        const std::string exception = ServiceExceptionMessage(xml);
        if (!exception.empty())
            read.error = "ServiceException: " + exception;
    }
    return read;
}
