#include "job/JobParameters.h"

#include "core/JobFields.h"

JobParameters JobParametersFrom(const JobFields& fields, const ServiceHosts& hosts)
{
    JobParameters job;
    job.quad = Quad{fields.quadLeft, fields.quadRight, fields.quadTop, fields.quadBottom};
    job.substituteZ0 = fields.substituteZ0;
    job.removeIntermediateFiles = fields.removeIntermediateFiles;
    job.namesFromCoordinates = fields.namesFromCoordinates != 0;
    job.scannerMode = fields.scannerMode;
    job.lineThickness = fields.lineThickness;
    job.zScale = fields.zScale;
    job.httpTimeout = fields.httpTimeout;
    job.textureKind = fields.textureKind;
    job.textureHeight = fields.textureHeight;
    if (fields.useWaypoints != 0)
        job.waypoints = fields.waypoints;
    job.hosts = hosts;
    return job;
}
