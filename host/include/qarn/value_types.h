// Companions of parameter values. The plug-ins only ever pass empty ones.
#pragma once

#include <brasko/reference.h>
#include <qarn/export.h>

namespace Qarn {

class QARN_API ValuePool : public Brasko::ReferenceBase<ValuePool> {};
class QARN_API ValueNotifier : public Brasko::ReferenceBase<ValueNotifier> {};
class QARN_API ValueNotifierList {};
class QARN_API ValueMap {};

}  // namespace Qarn
