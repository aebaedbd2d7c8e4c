// The engine's errors are raised from the container layer up; they live there.
#pragma once

#include "container/KelExcept.h"
