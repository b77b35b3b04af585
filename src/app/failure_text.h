// What a failed connection means, in one Chinese sentence that names the cause and the
// remedy, for the failures users meet; the driver's own words follow it in the message.
#pragma once

#include <string>

#include "data/db_error.h"

namespace faq::app {

// The sentence for e, or empty when e is none of the known failures. Decided by SQLSTATE and
// native error where the drivers give them (FreeTDS, Microsoft's drivers, psqlODBC), by
// the driver's words only where they give nothing more telling.
std::string explainConnectFailure(const data::DbError& e);

}  // namespace faq::app
