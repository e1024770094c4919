// The generator lives with the scene, whose every load reseeds it.
#pragma once

#include "scene/random.h"
