// SPDX-License-Identifier: MIT
#pragma once

#include "FakePrompt.h"
#include "FakeTickCounter.h"
#include "Files.h"
#include "GlobalHotKey.h"
#include "HotKey.h"
#include "MainFormUnit.h"
#include "Settings.h"
#include "TaskFile.h"
#include "TaskListModel.h"
#include "TaskListView.h"
#include "TempDir.h"

#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <gtest/gtest.h>
#include <map>
#include <memory>

// A main window over a private data folder, with a scripted prompt, a tick counter that
// moves only when told, a captured clipboard and no timers, hot keys, upgrade or update checks.
class MainFormFixture : public ::testing::Test {
protected:
    void TearDown() override { Form.reset(); }

    QString DataFolder() const { return Temp.File(QStringLiteral("Tallyvox")); }
    QString TasksDb() const { return DataFolder() + QStringLiteral("/tasks.db"); }

    TMainForm& CreateForm() {
        TMainFormServices services;
        services.Prompt = &Prompt;
        services.Ticks = &Ticks;
        services.Files = &Files;
        services.Settings = &Settings;
        services.Upgrade = Upgrade;
        services.UpdateTimeFile = UpdateTimeFileAt(Files.Upd());
        services.SetClipboardText = [this](const QString& Text) {
            Clipboard = Text;
            ++ClipboardWrites;
        };
        services.DoubleClickInterval = [] { return 40; };
        services.TrayHostPresent = [this] { return TrayHost; };
        if (MuteTrayWatcher) {
            services.AskTrayWatcher = [] { return TTrayWatcher::NoAnswer; };
            services.AskTrayWatcherLater = [](QObject*, std::function<void(TTrayWatcher)>) {};
        }
        services.StartTimers = false;
        if (RegisterHotKeys)
            services.CreateHotKey = [this](const QString& Name, QWidget* Window, std::uint32_t Modifiers,
                                           std::uint32_t Vk, std::function<void()> OnPressed) {
                HotKeyActions[Name] = OnPressed; // a press, as the backend would deliver it
                return GlobalHotKeyFactory(*HotKeys)(Name, Window, Modifiers, Vk, std::move(OnPressed));
            };
        services.CheckForUpdates = CheckForUpdates;
        services.TaskFileWrite = TaskFileWrite;
        Form = std::make_unique<TMainForm>(std::move(services));
        return *Form;
    }

    // A form whose list holds the given tasks (saved), with their times in ms.
    TMainForm& CreateFormWith(const std::vector<std::pair<QString, std::uint32_t>>& Tasks) {
        TMainForm& form = CreateForm();
        for (const auto& [caption, ms] : Tasks)
            form.Tracker().SetElapsedMs(form.Tracker().AppendTask(caption), ms);
        return form;
    }

    void Select(const std::vector<int>& Rows) {
        QItemSelectionModel* selection = Form->ListView1->selectionModel();
        selection->clearSelection();
        for (int row : Rows)
            selection->select(Form->Model().index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        Form->ListView1->setFocus();
    }

    // The file once the background writer is done.
    QByteArray StoredBytes() const {
        if (Form)
            Form->TaskStore().Flush();
        QFile file(TasksDb());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QByteArray ExpectedBytes() const { return TaskFileBytes(Form->Tracker()); }

    TTempDir Temp;
    TFiles Files{Temp.File(QStringLiteral("bin")), Temp.Path()};
    TSettings Settings{Files.Settings()};
    std::function<void()> Upgrade; // none: no upgrade step
    TFakePrompt Prompt;
    TFakeTickCounter Ticks{5000};
    QString Clipboard;
    int ClipboardWrites = 0;
    bool RegisterHotKeys = false;
    std::unique_ptr<IHotKeyBackend> HotKeys = CreateHotKeyBackend(); // outlives the form
    std::map<QString, std::function<void()>> HotKeyActions;          // per hot-key name
    bool TrayHost = true;                                            // whether the desktop has a tray host
    bool MuteTrayWatcher = false;                                    // a tray watcher that never answers
    bool CheckForUpdates = false;
    TTaskFileWriter::TWrite TaskFileWrite; // none: the real one
    std::unique_ptr<TMainForm> Form;
};
