// Everything the engine calls of the Syzygy prober.
#pragma once

#include "tb_position.h"
#include "tb_probe.h"
#include "tb_registry.h"
#include "tb_root.h"
