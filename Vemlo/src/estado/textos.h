// The app's own words: every sentence in English and Spanish, picked by the core's language
// rule on each call, and failures as a person reads them.
#pragma once

#include <QString>

#include <exception>

namespace vemlo::app {

QString texto(const char* ingles, const char* espanol);

// A service failure's sentence from the message table; any other failure, the default one.
QString descripcionDe(std::exception_ptr error);

// As descripcionDe, but a failure of the system (a file, a program) says its own text.
QString descripcionDelSistema(std::exception_ptr error);

}  // namespace vemlo::app
