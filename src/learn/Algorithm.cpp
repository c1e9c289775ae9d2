// The defaults of the algorithm frame: Algorithm, CallBack, Analyzer and Notifier.
#include <qel/learn/Algorithm.h>
#include <qel/learn/Analyzer.h>
#include <qel/learn/CallBack.h>
#include <qel/learn/Notifier.h>

namespace Qel {

void Algorithm::DoAlgorithm(Control* /*control*/) {}
Control* Algorithm::CreateController() { return nullptr; }
bool Algorithm::Save(std::ostream* /*os*/) { return false; }
bool Algorithm::Load(std::istream* /*is*/) { return false; }

void CallBack::SetCurrent(unsigned int position, bool* /*cancel*/) {
  m_current = position;
  if (m_current > m_maximum) m_maximum = m_current;
}

void CallBack::SetMaximum(unsigned int maximum) {
  m_maximum = maximum;
  if (m_current > m_maximum) m_current = m_maximum;
}

void CallBack::SetStatus(const std::u16string& text, bool* /*cancel*/) { m_status = text; }

void CallBack::Increment(unsigned int step, bool* /*cancel*/) {
  m_current += step;
  if (m_current > m_maximum) m_maximum = m_current;
}

bool CallBack::GetCancel() { return m_cancel; }
unsigned int CallBack::GetCurrent() { return m_current; }
unsigned int CallBack::GetMaximum() { return m_maximum; }
const std::u16string& CallBack::GetStatus() const { return m_status; }

bool Analyzer::CanShareInternalRep() { return false; }
bool Analyzer::Save(std::ostream* /*os*/) { return false; }
bool Analyzer::Load(std::istream* /*is*/) { return false; }

void Notifier::AddPropertyChangedCallback(PropertyChangedCallback* cb) { m_callbacks.insert(cb); }

void Notifier::RemovePropertyChangedCallback(PropertyChangedCallback* cb) { m_callbacks.erase(cb); }

void Notifier::OnPropertyChanged(const std::u16string& propertyName) {
  for (PropertyChangedCallback* cb : m_callbacks) {
    if (cb != nullptr) cb->OnPropertyChanged(propertyName);
  }
}

}  // namespace Qel
