#include "comparison/visible_rows.h"

#include "compare/flat_rows.h"

#include <algorithm>
#include <climits>

void VisibleRows::setFolderRows(std::shared_ptr<FolderRows> rows,
                                std::optional<std::vector<qint32>> only) {
    Q_EMIT aboutToReset();
    m_rows = std::move(rows);
    m_subset = std::move(only);
    rebuild();
    Q_EMIT reset();
}

void VisibleRows::setOnlyDifferences(bool only) {
    if (only == m_only)
        return;
    Q_EMIT aboutToReset();
    m_only = only;
    rebuild();
    Q_EMIT reset();
}

void VisibleRows::rebuild() {
    m_shown.clear();
    const qsizetype n = m_rows ? std::min<qsizetype>(m_rows->count(), INT_MAX) : 0;
    if (m_subset) {
        for (const qint32 i : *m_subset) {
            if (i < n && shows(i))
                m_shown.push_back(i);
        }
        m_count = static_cast<int>(m_shown.size());
    } else if (m_only) {
        for (qsizetype i = 0; i < n; ++i) {
            if (isDifference(m_rows->status(i)))
                m_shown.push_back(static_cast<qint32>(i));
        }
        m_shown.shrink_to_fit();
        m_count = static_cast<int>(m_shown.size());
    } else {
        m_count = static_cast<int>(n);
    }
}

int VisibleRows::row(qsizetype sharedRow) const {
    if (!filtered())
        return sharedRow >= 0 && sharedRow < m_count ? static_cast<int>(sharedRow) : -1;
    const auto it = std::lower_bound(m_shown.begin(), m_shown.end(), sharedRow);
    return it != m_shown.end() && *it == sharedRow ? static_cast<int>(it - m_shown.begin()) : -1;
}

void VisibleRows::setStatus(qsizetype sharedRow, RowStatus status) {
    if (!m_rows || sharedRow < 0 || sharedRow >= m_rows->count())
        return;
    const bool wasShown = shows(sharedRow);
    m_rows->setStatus(sharedRow, status);
    const bool nowShown = shows(sharedRow);
    if (wasShown && nowShown) {
        Q_EMIT changed(row(sharedRow));
    } else if (nowShown) {
        const auto at = std::lower_bound(m_shown.begin(), m_shown.end(), sharedRow);
        const int r = static_cast<int>(at - m_shown.begin());
        Q_EMIT aboutToInsert(r, 1);
        m_shown.insert(at, static_cast<qint32>(sharedRow));
        ++m_count;
        Q_EMIT inserted();
    } else if (wasShown) {
        const int r = row(sharedRow);
        Q_EMIT aboutToRemove(r);
        m_shown.erase(m_shown.begin() + r);
        --m_count;
        Q_EMIT removed();
    }
}

void VisibleRows::insertRows(qsizetype sharedAt, const FolderRows& from, qsizetype first,
                             qsizetype count) {
    if (!m_rows)
        return;
    if (m_subset) { // rows not in the view: the view's rows after them move on
        ::insertRows(*m_rows, sharedAt, from, first, count);
        for (std::vector<qint32>* rows : {&*m_subset, &m_shown}) {
            for (auto it = std::lower_bound(rows->begin(), rows->end(), sharedAt);
                 it != rows->end(); ++it)
                *it += static_cast<qint32>(count);
        }
        return;
    }
    const auto at = std::lower_bound(m_shown.begin(), m_shown.end(), sharedAt);
    const int row = m_only ? static_cast<int>(at - m_shown.begin()) : static_cast<int>(sharedAt);
    std::vector<qint32> shown; // the new shared rows shown, when only differences are
    for (qsizetype r = first; m_only && r < first + count; ++r) {
        if (isDifference(from.status(r)))
            shown.push_back(static_cast<qint32>(sharedAt + r - first));
    }
    const int n = m_only ? static_cast<int>(shown.size()) : static_cast<int>(count);
    if (n > 0)
        Q_EMIT aboutToInsert(row, n);
    ::insertRows(*m_rows, sharedAt, from, first, count);
    // The shared rows after them moved on.
    for (auto it = at; m_only && it != m_shown.end(); ++it)
        *it += static_cast<qint32>(count);
    m_shown.insert(at, shown.begin(), shown.end());
    m_count += n;
    if (n > 0)
        Q_EMIT inserted();
}

int VisibleRows::nextDifference(int row, int step) const {
    row = row >= 0 ? row + step : step > 0 ? 0 : m_count - 1;
    while (row >= 0 && row < m_count && !isDifference(status(row)))
        row += step;
    return row >= 0 && row < m_count ? row : -1;
}
