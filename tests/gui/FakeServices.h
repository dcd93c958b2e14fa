// Window services for the window tests: scripted folder choices and Yes/No answers, and a log
// of every chooser title, message and opened page.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/WindowServices.h"

namespace snapsift::test {

class FakeServices : public WindowServices {
public:
    std::deque<std::string> folderChoices;  // answers of the chooser in turn; "" once they run out
    std::deque<bool> answers;               // answers to the Yes/No questions; No once they run out
    std::function<void(const QString&)> onMessage;  // called inside every message box

    QStringList chooserTitles;
    std::vector<QWidget*> chooserOwners;
    QStringList messages;
    QStringList questions;
    std::vector<QUrl> openedUrls;

    std::string BrowseFolder(std::string_view title, QWidget* owner) override {
        chooserTitles << QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
        chooserOwners.push_back(owner);
        if (folderChoices.empty()) return {};
        std::string choice = folderChoices.front();
        folderChoices.pop_front();
        return choice;
    }
    void ShowMessage(QWidget*, const QString& text) override {
        messages << text;
        if (onMessage) onMessage(text);
    }
    bool AskYesNo(QWidget*, const QString& text) override {
        questions << text;
        if (answers.empty()) return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void OpenUrl(const QUrl& url) override { openedUrls.push_back(url); }
};

}  // namespace snapsift::test
