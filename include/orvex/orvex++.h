// The whole Orvex object model: include this one header.
#ifndef ORVEX_ORVEXPP_H
#define ORVEX_ORVEXPP_H

#include "orvex/orvex.h"

#include "orvex/Node.h"
#include "orvex/Structure.h"

#include "orvex/Array.h"
#include "orvex/Dictionary.h"
#include "orvex/Edit.h"

#include "orvex/Boolean.h"
#include "orvex/Data.h"
#include "orvex/Date.h"
#include "orvex/Integer.h"
#include "orvex/Key.h"
#include "orvex/Real.h"
#include "orvex/String.h"
#include "orvex/Uid.h"
#include "orvex/Value.h"

#include "orvex/Documents.h"

#endif
