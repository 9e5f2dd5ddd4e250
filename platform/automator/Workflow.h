// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A workflow: actions run in order, each one's output the next one's input.
//
// On disk a workflow is a folder ("Name.workflow") holding Contents/document.wflow, an XML
// property list that names each action by bundle path and identifier, with its parameters.
#include <QString>
#include <QUrl>
#include <QVariant>
#include <memory>
#include <vector>

#include "platform/automator/BundleAction.h"

class Workflow {
 public:
  Workflow() = default;

  void addAction(const BundleAction& action) { actions_.push_back(action); }
  const std::vector<BundleAction>& actions() const { return actions_; }

  // Writes the workflow folder at the URL, replacing whatever is there (an older workflow, a
  // plain file, a link); the document appears complete or not at all. A folder that already
  // holds the same document is left as it is. The parent folder must exist. False, with a
  // message, on failure. A temporary workflow (made again whenever it is lost) is not synced.
  bool writeToURL(const QUrl& fileUrl, QString* error = nullptr, bool temporary = false) const;

  // Reads a workflow folder back: its actions as the document names them.
  static std::unique_ptr<Workflow> initWithContentsOfURL(const QUrl& fileUrl, QString* error = nullptr);

  // Runs the workflow at the URL synchronously: the input goes to the first action and the
  // last action's output comes back; nil (an invalid QVariant) when the document cannot be
  // read, an action is unknown, or an action fails or has nothing. A document is parsed once
  // and read again only when its file changes (looked at once per LookupSession).
  static QVariant runWorkflowAtURL(const QUrl& fileUrl, const QVariant& input, QString* error = nullptr);

  // Whether the document at the URL can be read and names only known actions (parsing it
  // into the cache runWorkflowAtURL uses); the reason when it cannot.
  static bool canRunWorkflowAtURL(const QUrl& fileUrl, QString* error = nullptr);

  // One lookup: while one is alive, each document is looked at on disk once, at its first run,
  // instead of at every run; a change made between two lookups is still seen. Sessions may
  // nest (each new one looks again) and live on the stack of whoever starts the lookup.
  class LookupSession {
   public:
    LookupSession();
    ~LookupSession();
    LookupSession(const LookupSession&) = delete;
    LookupSession& operator=(const LookupSession&) = delete;
  };

  // How many documents runWorkflowAtURL has parsed in this process (a cache miss each).
  static quint64 documentsParsedForRunning();

  // Where the document of a workflow folder lives.
  static QString documentPath(const QString& workflowPath);

 private:
  std::vector<BundleAction> actions_;
};
