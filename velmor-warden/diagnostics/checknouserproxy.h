#ifndef VELMOR_DIAGNOSTICS_CHECKNOUSERPROXY_H
#define VELMOR_DIAGNOSTICS_CHECKNOUSERPROXY_H

#include "velmorwire/basetest.h"

// The system's proxy settings must name no proxy: a proxy would carry web traffic past the filtering.
class CheckNoUserProxy : public base_test
{
public:
    using base_test::base_test;

protected:
    bool test() override;
};

#endif // VELMOR_DIAGNOSTICS_CHECKNOUSERPROXY_H
