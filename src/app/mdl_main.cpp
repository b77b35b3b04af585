#include "mdl_main.h"

#include <memory>

namespace faq::mdlMain {

namespace {
std::unique_ptr<query::listMng>& instance() {
    // Never destroyed: the process ends without tearing the connection down.
    static auto* holder = new std::unique_ptr<query::listMng>();
    return *holder;
}
}  // namespace

query::listMng& gListMng() {
    auto& p = instance();
    if (!p) p = std::make_unique<query::listMng>();
    return *p;
}

bool connectionOpen() { return instance() && instance()->connected(); }

void resetListMng() { instance().reset(); }

data::RecordsetPtr fetchList(query::CMvLogin& p) { return gListMng().getList(p); }

data::RecordsetPtr fetchCobList(query::CMvLogin* p, const std::string& zcName) {
    return gListMng().getCobList(p, zcName);
}

data::RecordsetPtr fetchDeptList(query::CMvLogin* p) { return gListMng().getDeptList(p); }

}  // namespace faq::mdlMain
