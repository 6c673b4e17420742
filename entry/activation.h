// The activation routine named in the server record.
#pragma once

#include "host/host_abi.h"

extern "C" int activateElasticPull(int version, LWGlobalFunc global, void *local, void *serverData);
