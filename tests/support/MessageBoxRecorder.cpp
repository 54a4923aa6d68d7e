#include "tests/support/MessageBoxRecorder.h"

CMessageBoxRecorder::CMessageBoxRecorder() {
    SetMessageBoxHandler([this](const SMessageBox& box) { return Answer(box); });
}

CMessageBoxRecorder::~CMessageBoxRecorder() {
    SetMessageBoxHandler({});
}

void CMessageBoxRecorder::QueueAnswers(std::initializer_list<int> listAnswers) {
    m_listAnswers.insert(m_listAnswers.end(), listAnswers.begin(), listAnswers.end());
}

SMessageBox CMessageBoxRecorder::Last() const {
    return m_listBoxes.empty() ? SMessageBox{} : m_listBoxes.back();
}

QStringList CMessageBoxRecorder::Texts() const {
    QStringList listTexts;
    for (const SMessageBox& box : m_listBoxes) {
        listTexts << box.strText;
    }
    return listTexts;
}

QStringList CMessageBoxRecorder::Captions() const {
    QStringList listCaptions;
    for (const SMessageBox& box : m_listBoxes) {
        listCaptions << box.strCaption;
    }
    return listCaptions;
}

int CMessageBoxRecorder::Answer(const SMessageBox& box) {
    m_listBoxes.push_back(box);
    if (m_fnOnShow) {
        m_fnOnShow(box);
    }
    if (box.nButtons == EMessageButtons::Ok) {
        return IDOK_BOX;
    }
    if (m_listAnswers.empty()) {
        return m_nDefaultYesNoAnswer;
    }
    const int nAnswer = m_listAnswers.front();
    m_listAnswers.pop_front();
    return nAnswer;
}
