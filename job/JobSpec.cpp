#include "job/JobSpec.h"

#include "core/JobFields.h"

JobSpec JobSpecFrom(const JobFields& fields, const ServiceHosts& hosts)
{
    JobSpec spec;
    spec.quad = Quad{fields.quadLeft, fields.quadRight, fields.quadTop, fields.quadBottom};
    spec.substituteZ0 = fields.substituteZ0;
    spec.removeIntermediateFiles = fields.removeIntermediateFiles;
    spec.namesFromCoordinates = fields.namesFromCoordinates != 0;
    spec.scannerMode = fields.scannerMode;
    spec.lineThickness = fields.lineThickness;
    spec.zScale = fields.zScale;
    spec.httpTimeout = fields.httpTimeout;
    if (fields.useWaypoints != 0)
        spec.waypoints = fields.waypoints;
    spec.hosts = hosts;
    return spec;
}
