// ThreadScoped: objects that stand for something in progress on the running
// thread (an install run, the file being expanded, the volume read ahead)
// and are found by whoever works on that thread, without being members of
// the exported classes, whose layout is fixed. A derived object registers
// itself for its thread while it lives; objects may nest, and a search goes
// from the innermost outwards. Portable: no <windows.h>.
#ifndef SETUP_BASEINTERFACE_THREAD_SCOPED_H
#define SETUP_BASEINTERFACE_THREAD_SCOPED_H

template <class T>
class ThreadScoped {
public:
    ThreadScoped(const ThreadScoped&) = delete;
    ThreadScoped& operator=(const ThreadScoped&) = delete;

    // The innermost live object of this thread for which `match` holds, or null.
    template <class Match>
    static T* find(Match match) {
        for (ThreadScoped* s = innermost_; s; s = s->outer_)
            if (match(*static_cast<T*>(s)))
                return static_cast<T*>(s);
        return nullptr;
    }

protected:
    ThreadScoped() : outer_(innermost_) { innermost_ = this; }
    ~ThreadScoped() { innermost_ = outer_; }

private:
    ThreadScoped* outer_;
    static thread_local ThreadScoped* innermost_;
};

template <class T>
thread_local ThreadScoped<T>* ThreadScoped<T>::innermost_ = nullptr;

#endif
