// Who makes the product and where its pages are: one place for the About box, the dialog's
// help commands and the settings report.
#pragma once

inline constexpr char kProductName[] = "Varen Glaze 2";
inline constexpr char kMakerName[] = "Varen Works";
inline constexpr char kMakerSite[] = "https://www.varenworks.com";
inline constexpr char kProductPage[] = "https://www.varenworks.com/glaze2";
inline constexpr char kSupportPage[] = "https://www.varenworks.com/support";
// The version file of the update check.
inline constexpr char kUpdateAddress[] = "https://www.varenworks.com/updates/varenglaze2_x64.txt";
