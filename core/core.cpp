// The state the core's operations share, and the few things they all do with it.
//
// State: the comparison list (the one store of rows); the left and right folder as loaded (path and the
// identity of every folder the scan walked); the scan's file list, filled by a scan and emptied by the
// load that made rows of it; a folder being listed ahead for a later load; batch mode with the control
// file's requests; the last comparison's report; and whether a long operation is under way, which refuses
// a second one and freezes the list's order until it ends. Everything here is touched on the thread that
// runs the operations only; worker threads get copies (see FolderLister and PairComparer).

#include "core.h"

#include "folderlister.h"

namespace common {

Core::Core(Host &host, FileSystem &fileSystem) : m_host(host), m_fs(fileSystem)
{
    m_sinceRepaint.start();
}

Core::~Core() = default;

bool Core::repaintDue()
{
    if (m_sinceRepaint.elapsed() < RepaintInterval)
        return false;
    m_sinceRepaint.restart();
    return true;
}

Core::BusyScope::BusyScope(Core &core) : m_core(core)
{
    if (!m_core.m_batchMode)
        m_core.m_stopAsked = false; // a stop asked of an earlier operation is done with
    m_core.m_busy = true;
    m_core.m_list.setFrozen(true);
}

void Core::BusyScope::end()
{
    if (!m_active)
        return;
    m_active = false;
    m_core.m_busy = false;
    m_core.m_list.setFrozen(false);
}

void Core::SetStatus(int panel, const QString &text)
{
    if (panel == 2 && !text.isEmpty())
        m_host.setStatusPanel(2, QStringLiteral("Status: ") + text);
    else
        m_host.setStatusPanel(panel, text);
}

void Core::EnableCompareCommand(bool enabled)
{
    m_host.setCompareCommandEnabled(enabled);
}

void Core::message(const QString &text, Host::Icon icon)
{
    m_host.showMessage(text, icon, Host::Buttons::Ok);
}

void Core::StopOperation()
{
    if (m_busy || m_batchMode)
        m_stopAsked = true;
}

bool Core::pause()
{
    if (!m_host.speedChecked())
        m_host.yield();
    return !stopping();
}

void Core::SortList(int column, Qt::SortOrder order)
{
    if (m_busy || m_host.speedChecked()) {
        m_list.sort(column, order); // while frozen, only the sort state
        return;
    }
    BusyScope busy(*this);
    m_list.sort(column, order);
    m_list.sortNow([this] { return pause(); });
}

} // namespace common
