// SPDX-License-Identifier: GPL-3.0-or-later
#include "modemfacts.h"

namespace pellix {
namespace {

// Which answer says most about why a modem is not registered: a refusal by the network is a
// verdict, a search is work under way, "not registered" and "unknown" say least.
int weight(RegistrationState state)
{
    switch (state) {
    case RegistrationState::Home:
    case RegistrationState::Roaming: return 4;
    case RegistrationState::Denied: return 3;
    case RegistrationState::Searching: return 2;
    case RegistrationState::NotRegistered: return 1;
    case RegistrationState::Unknown: break;
    }
    return 0;
}

} // namespace

std::optional<Registration> NetworkFacts::best() const
{
    std::optional<Registration> chosen;
    for (const Registration &r : registrations) {
        if (!chosen || weight(r.state) > weight(chosen->state))
            chosen = r;
    }
    return chosen;
}

bool NetworkFacts::registered() const
{
    const auto b = best();
    return b && (b->state == RegistrationState::Home || b->state == RegistrationState::Roaming);
}

} // namespace pellix
