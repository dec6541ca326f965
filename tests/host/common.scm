; Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
; What both hosts' test programs share; the host's own file defines load-image,
; first-layer, new-group, host-kind, only-layer?, copy-drawable, export-raw,
; run-ondalux, report-stored and effects-of. The driver defines results-path and
; work-dir, and closes the port at the end.

(define results (open-output-file results-path))

; One line "key value ...", read back by the C++ side.
(define (report key . values)
  (display key results)
  (for-each (lambda (v) (display " " results) (display v results)) values)
  (newline results))

(define (string-contains? text part)
  (let ((n (string-length text)) (m (string-length part)))
    (let loop ((i 0))
      (cond ((> (+ i m) n) #f)
            ((string=? (substring text i (+ i m)) part) #t)
            (else (loop (+ i 1)))))))

; The PDB status of calling thunk: success, calling-error or execution-error, with the
; error's text kept in last-message. GIMP 3 refuses arguments outside their ranges
; before the call.
(define last-message "")
(define (status-of thunk)
  (set! last-message "")
  (call/cc
    (lambda (return)
      (let ((previous *error-hook*))
        (set! *error-hook*
              (lambda args
                (set! *error-hook* previous)
                (set! last-message (if (string? (car args)) (car args) ""))
                (return (cond ((or (string-contains? last-message "invalid input arguments")
                                   (string-contains? last-message "out of range"))
                               "calling-error")
                              ((string-contains? last-message "failed") "execution-error")
                              (else (string-append "error: " last-message))))))
        (thunk)
        (set! *error-hook* previous)
        "success"))))

(define positive-infinity (* 1e308 10))
(define not-a-number (- positive-infinity positive-infinity))

; The drawables a case runs on, made in image from its only layer.
(define (make-kind image kind)
  (let ((layer (first-layer image)))
    (cond ((equal? kind "layer") (list layer))
          ((equal? kind "mask")
           (let ((mask (car (gimp-layer-create-mask layer ADD-MASK-COPY))))
             (gimp-layer-add-mask layer mask)
             (list mask)))
          ((equal? kind "channel") ; the red component
           (let ((channel (car (gimp-channel-new-from-component image 0 "red"))))
             (gimp-image-insert-channel image channel 0 0)
             (list channel)))
          ((equal? kind "group")
           (let ((group (new-group image)))
             (gimp-image-insert-layer image group 0 0)
             (gimp-image-reorder-item image layer group 0)
             (list group)))
          ((equal? kind "locked") (gimp-item-set-lock-content layer TRUE) (list layer))
          ((equal? kind "indexed")
           (gimp-image-convert-indexed image CONVERT-DITHER-NONE CONVERT-PALETTE-GENERATE
                                       32 FALSE FALSE "")
           (list layer))
          ; The layer at (40, 30) of a larger canvas, or the canvas grown right and down.
          ((assoc kind '(("offset" 160 120 40 30) ("grown" 300 200 0 0)))
           => (lambda (canvas) (apply gimp-image-resize image (cdr canvas)) (list layer)))
          (else (host-kind image layer kind)))))

; The drawable's pixels exactly as stored, in its own format, saved under path: the
; image's only layer as the image itself (with its effects), anything else through a
; copy pasted as an image of its own.
(define (save-raw image drawable path)
  (if (only-layer? image drawable)
      (export-raw image path)
      (begin (copy-drawable drawable)
             ; GIMP 3 pastes a copied layer at its offset in an image of the source's size.
             (let ((copy (car (gimp-edit-paste-as-new-image))))
               (gimp-image-resize-to-layers copy)
               (export-raw copy path)
               (gimp-image-delete copy)))))

; Loads path, converts it to precision (unless 0), makes the drawables of kind and
; selects box (x y width height, or #f for none). Then reports the status of a run
; under name, its error under NAME-message, the stored settings under NAME-stored and
; the effects left on the first drawable under NAME-effects. When save is true, the
; drawables' pixels are saved before and after as NAME-before-1.data,
; NAME-after-1.data, NAME-before-2.data and so on.
(define (host-case name path precision kind box run-mode scale turbulence save)
  (let* ((image (load-image path))
         (ignored (if (and (> precision 0)
                           (not (= precision (car (gimp-image-get-precision image)))))
                      (gimp-image-convert-precision image precision)))
         (drawables (make-kind image kind))
         ; With no drawable, the image's layer must stay as it is.
         (stage (lambda (image drawables suffix)
                  (let ((k 0))
                    (for-each (lambda (drawable)
                                (set! k (+ k 1))
                                (if save (save-raw image drawable
                                                   (string-append work-dir "/" name suffix
                                                                  (number->string k) ".data"))))
                              (if (null? drawables) (list (first-layer image)) drawables))))))
    (stage image drawables "-before-")
    (if box
        (gimp-image-select-rectangle image CHANNEL-OP-REPLACE
                                     (car box) (cadr box) (caddr box) (cadddr box)))
    ; The run may hand back the image reloaded, with its drawables.
    (let* ((outcome (run-ondalux run-mode image drawables scale turbulence))
           (image (cadr outcome))
           (drawables (caddr outcome)))
      (report name (car outcome))
      (report (string-append name "-message") last-message)
      (gimp-selection-none image)
      (stage image drawables "-after-")
      (report-stored (string-append name "-stored"))
      (if (pair? drawables)
          (apply report (string-append name "-effects") (effects-of (car drawables))))
      (gimp-image-delete image))))
