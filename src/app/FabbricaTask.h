#pragma once

#include <memory>

#include "taskbase/TaskInfo.h"

class TTask;

// A new task object of the given type, owned by the caller; none for tsNessuno. The one place
// that knows every concrete task type; the program hands it to the driver's row object.
std::unique_ptr<TTask> CreaTask(TTipoSincro tipo);
