// The build without CardDAV (Windows): a CARDDAV= line is refused in one line.
#include "carddav/carddav.h"

namespace quorlan {

bool carddav_built_in() { return false; }

bool sync_address_book(const CarddavSettings&, FetchProgress, SyncResult&, std::string& failure) {
    failure = "this build of quorlan has no CardDAV: CARDDAV= in quorlan.ini can't be used here; export the "
              "address book to a .vcf file and name that file instead";
    return false;
}

}  // namespace quorlan
