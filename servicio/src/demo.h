// The demo content of --demo: two accounts, two companies, a few folders and files. Seeded
// once; later starts on the same data only print the accounts again.
#pragma once

#include <string>
#include <vector>

namespace vemlo::servicio {

// Seeds the demo when it is not there yet; answers the lines that present the accounts.
std::vector<std::string> prepararDemo();

}  // namespace vemlo::servicio
