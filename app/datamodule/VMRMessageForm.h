#pragma once
// TVMRMsg: the converter's message box, the base message box with the converter's texts.
// Create every TVMRMsg, and every window derived from it, through TVMRMsg::Create<T>(...):
// the language section of the window's own class can only be applied once the whole
// object, descendant components included, exists.

#include <utility>

#include "MsgBase.h"

namespace vemra {

class TVMRMsg : public TFrmMsgBase {
    Q_OBJECT
    // The system's fixed English texts (the shell's errors) in the language of the interface:
    // one "English text=translation" per line, from the language file's section.
    Q_PROPERTY(QString FixedTexts MEMBER FixedTexts)
public:
    explicit TVMRMsg(QWidget* parent = nullptr);

    // Constructs T, then finishes its creation (FinishCreation).
    template <class T = TVMRMsg, class... Args>
    static T* Create(Args&&... args) {
        T* window = new T(std::forward<Args>(args)...);
        static_cast<TVMRMsg*>(window)->FinishCreation();
        return window;
    }

    QString FixedTexts;
    // text in the interface's language when FixedTexts translates it, else text itself.
    QString InLanguage(const QString& text) const;

    // The single button's caption: message 26.
    void GetOkCaption(QString& caption) override;

protected:
    // Translates the window by its own class's section when dm exists, then plays "Notify"
    // when the options window's sound switch is on.
    void FinishCreation();
};

}  // namespace vemra
