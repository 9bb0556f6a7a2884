#pragma once
// Where the error base and the user's text for errors used to be declared; kept until its last
// includers name base/ReportableError.h and messages/ErrorText.h themselves.
#include "base/ReportableError.h"
#include "messages/ErrorText.h"
