#include "job/ElevationOrder.h"

#include "core/StringPrintf.h"

#include <cstdlib>

std::string MakeRequestCode()
{
    std::string code;
    for (int i = 0; i < 19; ++i)
        code += StringPrintf("%02x", std::rand() & 0xFF);
    return code;
}

std::string ElevationOrderUrl(const std::string& host, const Quad& quad, const std::string& requestCode)
{
    return StringPrintf(
        "http://%s/diststatus/servlet/gov.usgs.edc.RequestStatus?siz=1&key=SM3&ras=1&rsp=1&pfm=BIL"
        "&imsurl=-1&ms=-1&att=-1&lay=-1&fid=-1&dlpre=&lft=%f&rgt=%f&top=%f&bot=%f&wmd=1"
        "&mur=http://%s/distmeta/servlet/gov.usgs.edc.MetaBuilder&mcd=SRTM1FIN&mdf=HTML&arc=ZIP"
        "&sde=SRTM.C_US_1_ELEVATION_SHIFT&msd=SRTM.c_national_1_elevation_meta&zun=&prj=0"
        "&csx=0.0002777777778&csy=0.0002777777778&bnd=&bndnm=&RC=%s",
        host.c_str(), quad.left, quad.right, quad.top, quad.bottom, host.c_str(), requestCode.c_str());
}

const std::vector<std::string>& ElevationProgressPhrases()
{
    static const std::vector<std::string> phrases = {
        "Adding your request",
        "Extracting data",
        "Extracting Metadata",
        "Creating the archive file",
        "Producing extract area",
        "Raster Extract has completed",
        "The data extraction has completed",
        "ahead of you",
        "Error",
    };
    return phrases;
}
