#include "standin/host/counting_wire_draw.h"

namespace standin {

namespace {
CountingWireDraw &self(void *data) { return *static_cast<CountingWireDraw *>(data); }
void countMoveTo(void *data, const LWFVector, int) { ++self(data).moveTo; }
void countLineTo(void *data, const LWFVector, int) { ++self(data).lineTo; }
void countSpline(void *data, const LWFVector, int) { ++self(data).spline; }
void countCircle(void *data, double, int) { ++self(data).circle; }
}  // namespace

CountingWireDraw::CountingWireDraw()
    : access_{this, &countMoveTo, &countLineTo, &countSpline, &countCircle} {}

}  // namespace standin
