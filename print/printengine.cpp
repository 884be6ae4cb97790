#include "printengine.h"

namespace kov {
PrintEngine::~PrintEngine() = default;
}
