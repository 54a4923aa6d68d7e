// Message boxes in window tests. While a CMessageBoxRecorder lives, every ShowMessageBox is kept
// (owner, caption, text, icon, buttons) and answered at once instead of shown: an OK box with
// IDOK_BOX, a Yes/No box with the next scripted answer, or the default answer (IDYES unless set)
// when the script has run out.
//
//   CMessageBoxRecorder boxes;
//   boxes.QueueAnswers({IDNO, IDYES});            // the next two Yes/No questions
//   ... EXPECT_EQ(boxes.Count(), 1); EXPECT_EQ(boxes.Last().strText, "..."); boxes.Clear();
//   boxes.SetOnShow([](const SMessageBox&) { QTest::qWait(600); });  // a slow user
#pragma once

#include "platform/window/MessageBox.h"

#include <QStringList>
#include <deque>
#include <functional>
#include <initializer_list>
#include <vector>

class CMessageBoxRecorder {
public:
    CMessageBoxRecorder();
    ~CMessageBoxRecorder(); // the real boxes again
    CMessageBoxRecorder(const CMessageBoxRecorder&) = delete;
    CMessageBoxRecorder& operator=(const CMessageBoxRecorder&) = delete;

    // Answers (IDYES or IDNO) for the coming Yes/No boxes, in order.
    void QueueAnswers(std::initializer_list<int> listAnswers);
    std::size_t PendingAnswers() const { return m_listAnswers.size(); }
    void SetDefaultYesNoAnswer(int nAnswer) { m_nDefaultYesNoAnswer = nAnswer; }
    // Called with each box before it is answered, as if the box were on screen meanwhile.
    void SetOnShow(std::function<void(const SMessageBox&)> fnOnShow) {
        m_fnOnShow = std::move(fnOnShow);
    }

    int Count() const { return static_cast<int>(m_listBoxes.size()); }
    // The latest box; an empty one when none has been shown.
    SMessageBox Last() const;
    const std::vector<SMessageBox>& Boxes() const { return m_listBoxes; }
    QStringList Texts() const;
    QStringList Captions() const;
    void Clear() { m_listBoxes.clear(); }

private:
    int Answer(const SMessageBox& box);

    std::vector<SMessageBox> m_listBoxes;
    std::deque<int> m_listAnswers;
    int m_nDefaultYesNoAnswer = IDYES;
    std::function<void(const SMessageBox&)> m_fnOnShow;
};
