#include "basetest.h"

base_test::base_test(TestResult *record)
    : record(record)
    , outcome(false)
{
    setAutoDelete(true);
}

base_test::~base_test() = default;

void base_test::run()
{
    outcome = test();
    record->text = log;
    record->result = outcome;
    if (m_finished)
        m_finished();
}

void base_test::setFinishedHandler(std::function<void()> handler)
{
    m_finished = std::move(handler);
}
