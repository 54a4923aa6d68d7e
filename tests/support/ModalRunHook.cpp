#include "tests/support/ModalRunHook.h"

CModalRunHook::CModalRunHook(std::function<void(CDialog&)> fnHook) {
    CDialog::SetModalRunHook(std::move(fnHook));
}

CModalRunHook::~CModalRunHook() {
    CDialog::SetModalRunHook({});
}
