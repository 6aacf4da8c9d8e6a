// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The vendor's addresses, in one place for every window that names them.
namespace Vendor {

// Where modem profiles for Pellix.ini are offered; named by the modem type help.
inline constexpr char ProfileDownloadPage[] = "http://www.pellix.example/gsm_modem_config";

// Support requests by mail (the support window's prepared e-mail).
inline constexpr char SupportEmail[] = "support@pellix.example";
// The vendor's account on the Skype chat service: "skype:" + account + "?chat".
inline constexpr char ChatAccount[] = "pellix.support";
// The home page both logos open, and its host name, which the logos show as their tooltip.
inline constexpr char WebSite[] = "http://www.pellix.example";
inline constexpr char WebSiteHost[] = "www.pellix.example";

} // namespace Vendor
